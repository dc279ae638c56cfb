// winsim's free-threaded marshaler, as an object that aggregates it sees it:
// the IMarshal it answers belongs to the aggregating object, whose references
// it counts, so that a caller holding only that IMarshal keeps the object
// alive.
#include <gtest/gtest.h>

#include <string>

#include "platform/windows/win32.h"
#include "winsim/control.h"
#include "winsim_listing.h"

namespace {

using winsim_test::live_objects;

using winsim_test::errors;

// An object that aggregates the marshaler, counting its own references.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown) {
      AddRef();
      *object = static_cast<IUnknown*>(this);
      return S_OK;
    }
    if (iid == IID_IMarshal && marshaler != nullptr) return marshaler->QueryInterface(iid, object);
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  ULONG references = 1;
  IUnknown* marshaler = nullptr;  // the marshaler's own IUnknown
};

class WinsimMarshaler : public ::testing::Test {
 protected:
  void SetUp() override { winsim_reset(); }
  void TearDown() override {
    EXPECT_EQ(errors(), "");
    EXPECT_EQ(live_objects(), "");
    winsim_reset();
  }
};

TEST_F(WinsimMarshaler, AggregatedIMarshalCountsOnTheOuterObject) {
  Outer outer;
  ASSERT_EQ(CoCreateFreeThreadedMarshaler(&outer, &outer.marshaler), S_OK);
  ASSERT_NE(outer.marshaler, nullptr);
  EXPECT_EQ(outer.references, 1u);  // the marshaler holds no reference to its outer object

  IMarshal* marshal = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal)), S_OK);
  ASSERT_NE(marshal, nullptr);
  EXPECT_EQ(outer.references, 2u);
  marshal->AddRef();
  EXPECT_EQ(outer.references, 3u);
  marshal->Release();
  EXPECT_EQ(outer.references, 2u);

  // The IMarshal's identity is the outer object's.
  IUnknown* identity = nullptr;
  ASSERT_EQ(marshal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();

  marshal->Release();
  EXPECT_EQ(outer.references, 1u);
  EXPECT_EQ(live_objects(), "FreeThreadedMarshaler\t1\n");
  // The outer object lets go of the marshaler when it is destroyed.
  EXPECT_EQ(outer.marshaler->Release(), 0u);
}

TEST_F(WinsimMarshaler, WithoutAnOuterObjectTheMarshalerIsItsOwnObject) {
  IUnknown* marshaler = nullptr;
  ASSERT_EQ(CoCreateFreeThreadedMarshaler(nullptr, &marshaler), S_OK);
  IMarshal* marshal = nullptr;
  ASSERT_EQ(marshaler->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal)), S_OK);
  IUnknown* identity = nullptr;
  ASSERT_EQ(marshal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, marshaler);
  identity->Release();
  marshal->Release();
  EXPECT_EQ(marshaler->Release(), 0u);
}

}  // namespace
