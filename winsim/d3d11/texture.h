// ID3D11Texture2D. A texture's memory is either bytes of its own (textures
// made by CreateTexture2D: staging textures can be mapped) or, for the
// buffers of a capture frame pool, a picture of a capture target: an immutable
// content snapshot seen through the target's size at capture time. Rendering a
// captured frame only swaps that picture in; pixels are produced when the
// texture is copied from.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include <d3d11.h>

#include "combase/com_object.h"
#include "d3d11/gpu.h"
#include "desktop/content.h"
#include "desktop/pointer.h"

namespace winsim::d3d11 {

class Device;

struct TargetPicture {
  std::shared_ptr<const desktop::Snapshot> snapshot;  // null: the test pattern
  UINT visible_width = 0;                             // the target's size
  UINT visible_height = 0;
  // Windows drawn over the content (pop-ups of a captured window), bottom-most first.
  std::vector<desktop::Overlay> overlays = {};
  std::optional<desktop::PointerSpot> pointer = std::nullopt;  // drawn over the content
};

// A texture's own memory. Rows are stored `storage_pitch()` bytes apart; Map
// reports `row_pitch`, which a test may force below the row length to check
// the caller's guard: the storage then stays packed, so that a caller reading
// at the short pitch still stays inside it.
struct OwnedBytes {
  std::vector<std::uint8_t> bytes;
  UINT row_pitch = 0;
  UINT row_length = 0;  // width * 4

  UINT storage_pitch() const { return row_pitch < row_length ? row_length : row_pitch; }
};

struct TextureState {
  TextureState(Device* device, std::shared_ptr<Gpu> gpu, const D3D11_TEXTURE2D_DESC& desc,
               std::variant<TargetPicture, OwnedBytes> memory);
  ~TextureState();
  TextureState(const TextureState&) = delete;
  TextureState& operator=(const TextureState&) = delete;

  Device* device;  // one reference
  std::shared_ptr<Gpu> gpu;
  D3D11_TEXTURE2D_DESC desc;
  std::mutex mutex;  // guards what follows
  std::variant<TargetPicture, OwnedBytes> memory;
  bool mapped = false;
};

class Texture2D final : public combase::ComObject<Texture2D, TextureState, ID3D11Texture2D> {
 public:
  static constexpr std::string_view kClassName = "D3D11Texture2D";
  Texture2D(Device* device, std::shared_ptr<Gpu> gpu, const D3D11_TEXTURE2D_DESC& desc,
            std::variant<TargetPicture, OwnedBytes> memory);

  // ID3D11DeviceChild
  void STDMETHODCALLTYPE GetDevice(ID3D11Device** ppDevice) override;
  // ID3D11Resource
  void STDMETHODCALLTYPE GetType(D3D11_RESOURCE_DIMENSION* pResourceDimension) override;
  // ID3D11Texture2D
  void STDMETHODCALLTYPE GetDesc(D3D11_TEXTURE2D_DESC* pDesc) override;

  void* base_interface(REFIID iid);

  // For the simulation: null once the texture is a zombie.
  TextureState* texture_state() { return state("texture access"); }

  // Shows a new picture (a frame pool rendering a captured frame).
  void show(TargetPicture picture);

  // Writes `count` pixels of row y from column x on, in the texture's format.
  // The caller holds the state's mutex.
  static void read_row(const TextureState& texture, UINT x, UINT y, UINT count, std::uint8_t* out);
};

// The texture behind an interface pointer, if it is one of winsim's.
Texture2D* as_texture(ID3D11Resource* resource);

}  // namespace winsim::d3d11
