// Direct3D 10: ID3D10Multithread, the multithread switch that Direct3D 11
// devices answer too.
#pragma once

#include <d3dcommon.h>
#include <unknwn.h>

// {9B7E4E00-342C-4106-A19F-4F2704F689F0}
inline constexpr IID IID_ID3D10Multithread = {
    0x9B7E4E00, 0x342C, 0x4106, {0xA1, 0x9F, 0x4F, 0x27, 0x04, 0xF6, 0x89, 0xF0}};

struct ID3D10Multithread : public IUnknown {
  virtual void STDMETHODCALLTYPE Enter() = 0;
  virtual void STDMETHODCALLTYPE Leave() = 0;
  // Returns the previous setting.
  virtual BOOL STDMETHODCALLTYPE SetMultithreadProtected(BOOL bMTProtect) = 0;
  virtual BOOL STDMETHODCALLTYPE GetMultithreadProtected() = 0;
};
