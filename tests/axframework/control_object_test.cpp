// The framework's objects from outside: a small control of its own, created
// through the framework's class factory and driven through its interfaces.
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>

#include "axframework/class_factory.h"
#include "axframework/com_ptr.h"
#include "axframework/control.h"
#include "axframework/extent_stream.h"
#include "axframework/module.h"
#include "support/outer_object.h"

namespace {

// {6F1C2A3E-5B7D-4E21-9C0A-1D2E3F405162}
const CLSID kProbeClsid = {0x6f1c2a3e, 0x5b7d, 0x4e21, {0x9c, 0x0a, 0x1d, 0x2e, 0x3f, 0x40, 0x51, 0x62}};
const CLSID kProbePage = {0x6f1c2a3e, 0x5b7d, 0x4e21, {0x9c, 0x0a, 0x1d, 0x2e, 0x3f, 0x40, 0x51, 0x63}};

enum class Construct { kOk, kFail, kThrow, kBadAlloc };
Construct g_construct = Construct::kOk;
int g_live = 0;

class Probe : public ax::Control<Probe> {
 public:
  static const ax::InterfaceEntry kInterfaces[6];
  static constexpr DWORD kMiscStatus = OLEMISC_INVISIBLEATRUNTIME | OLEMISC_SETCLIENTSITEFIRST;

  Probe() : ax::Control<Probe>(SIZEL{100, 200}) { ++g_live; }
  ~Probe() { --g_live; }

  HRESULT FinalConstruct() {
    switch (g_construct) {
      case Construct::kFail: return E_ABORT;
      case Construct::kThrow: throw std::runtime_error("construct");
      case Construct::kBadAlloc: throw std::bad_alloc();
      default: return S_OK;
    }
  }
  static const CLSID& ClassId() { return kProbeClsid; }
  static ax::TypeLibraryId TypeLibrary() { return {&GUID_NULL, 1, 0}; }
  static const IID* EventInterface() { return nullptr; }
  static std::span<const CLSID> PropertyPages() { return {&kProbePage, 1}; }
  void OnDraw(HDC, const RECT&) {}
};

const ax::InterfaceEntry Probe::kInterfaces[6] = {
    ax::Entry<Probe, IOleObject>(IID_IOleObject),
    ax::Entry<Probe, IViewObject2, IViewObjectEx>(IID_IViewObject2),
    ax::Entry<Probe, IPersistStreamInit>(IID_IPersistStreamInit),
    ax::Entry<Probe, IPersist, IPersistStorage>(IID_IPersist),
    ax::Entry<Probe, ISpecifyPropertyPages>(IID_ISpecifyPropertyPages),
    ax::Entry<Probe, IQuickActivate>(IID_IQuickActivate),
};

std::array<ax::ClassEntry, 1> g_classes{ax::Creatable<Probe>(kProbeClsid)};

class ControlObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_construct = Construct::kOk;
    ASSERT_EQ(ax::GetClassObject(g_classes, kProbeClsid, IID_IClassFactory, factory.PutVoid()), S_OK);
  }
  void TearDown() override {
    factory.Reset();
    EXPECT_EQ(g_live, 0) << "an object leaked";
    EXPECT_EQ(ax::Module::LockCount(), 0);
  }
  ax::ComPtr<IClassFactory> factory;
};

TEST_F(ControlObjectTest, AnswersFromItsTableWithOneIdentity) {
  ax::ComPtr<IUnknown> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.PutVoid()), S_OK);
  EXPECT_EQ(ax::Module::LockCount(), 1);
  for (const ax::InterfaceEntry& e : Probe::kInterfaces) {
    ax::ComPtr<IUnknown> viaEntry, identity;
    ASSERT_EQ(object->QueryInterface(*e.iid, viaEntry.PutVoid()), S_OK);
    ASSERT_EQ(viaEntry->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), object.Get());
  }
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(object->QueryInterface(IID_IViewObjectEx, &out), E_NOINTERFACE);  // implemented, but not listed
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(object->QueryInterface(IID_IOleObject, nullptr), E_POINTER);
}

TEST_F(ControlObjectTest, FailedConstructionLeavesNothingBehind) {
  const std::pair<Construct, HRESULT> cases[] = {
      {Construct::kFail, E_ABORT}, {Construct::kThrow, E_UNEXPECTED}, {Construct::kBadAlloc, E_OUTOFMEMORY}};
  for (auto [how, expected] : cases) {
    g_construct = how;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, &out), expected);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_live, 0);
    EXPECT_EQ(ax::Module::LockCount(), 0);
  }
}

TEST_F(ControlObjectTest, ClassObjectsAreCachedAndOnlyForTheirClass) {
  ax::ComPtr<IClassFactory> again;
  ASSERT_EQ(ax::GetClassObject(g_classes, kProbeClsid, IID_IClassFactory, again.PutVoid()), S_OK);
  EXPECT_EQ(again.Get(), factory.Get());
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(ax::GetClassObject(g_classes, kProbePage, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(ax::GetClassObject(g_classes, kProbeClsid, IID_IOleObject, &out), E_NOINTERFACE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(ax::Module::CanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(ax::Module::CanUnloadNow(), S_OK);
}

TEST_F(ControlObjectTest, ExtentChangesThroughEitherInterfaceAndResetsOnInitNew) {
  ax::ComPtr<IOleObject> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, object.PutVoid()), S_OK);
  SIZEL size{};
  ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 100);
  EXPECT_EQ(size.cy, 200);
  SIZEL negative{-1, 5};
  EXPECT_EQ(object->SetExtent(DVASPECT_CONTENT, &negative), E_INVALIDARG);
  EXPECT_EQ(object->SetExtent(DVASPECT_ICON, &size), DV_E_DVASPECT);

  ax::ComPtr<IQuickActivate> quick;
  ASSERT_EQ(object.As(quick, IID_IQuickActivate), S_OK);
  SIZEL bigger{300, 400};
  ASSERT_EQ(quick->SetContentExtent(&bigger), S_OK);
  ax::ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
  ASSERT_EQ(ax::SaveExtent(stream.Get(), bigger), S_OK);
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  SIZEL loaded{};
  ASSERT_EQ(ax::LoadExtent(stream.Get(), loaded), S_OK);
  EXPECT_EQ(loaded.cx, 300);
  EXPECT_EQ(loaded.cy, 400);

  ax::ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(object.As(persist, IID_IPersistStreamInit), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ASSERT_EQ(persist->InitNew(), S_OK);
  ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 100);  // back to the default
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
}

// A stream that ends early reads as a fault, a record that is refused as a
// failure; either way the extent stays as it was. A refused field counts
// even in a stream that ends after it, as when the record is read field by
// field.
TEST_F(ControlObjectTest, ExtentStreamsThatCannotBeReadLeaveTheExtent) {
  const std::string written("\x00\x08\x00\x00\x13\x00\x2c\x01\x00\x00\x13\x00\x90\x01\x00\x00", 16);
  const struct {
    const char* what;
    std::string bytes;
    HRESULT expected;
  } cases[] = {
      {"empty", "", STG_E_READFAULT},
      {"ends in the height", written.substr(0, 13), STG_E_READFAULT},
      {"a later version", std::string("\x01\x08\x00\x00", 4) + written.substr(4), E_FAIL},
      {"a later version, nothing after it", std::string("\x01\x08\x00\x00", 4), E_FAIL},
      {"a string for the width", written.substr(0, 4) + std::string("\x08\x00", 2) + written.substr(6), E_FAIL},
      {"a negative height", written.substr(0, 12) + std::string("\xff\xff\xff\xff", 4), E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ax::ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
    ULONG stored = 0;
    ASSERT_EQ(stream->Write(c.bytes.data(), static_cast<ULONG>(c.bytes.size()), &stored), S_OK);
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    SIZEL extent{7, 8};
    EXPECT_EQ(ax::LoadExtent(stream.Get(), extent), c.expected);
    EXPECT_EQ(extent.cx, 7);
    EXPECT_EQ(extent.cy, 8);
  }
}

TEST_F(ControlObjectTest, QuickActivationReportsStatusAndTakesTheSite) {
  ax::ComPtr<IQuickActivate> quick;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IQuickActivate, quick.PutVoid()), S_OK);
  QACONTAINER container{};
  container.cbSize = sizeof container;
  QACONTROL control{};
  control.cbSize = sizeof control;
  ASSERT_EQ(quick->QuickActivate(&container, &control), S_OK);
  EXPECT_EQ(control.cbSize, sizeof control);
  EXPECT_EQ(control.dwMiscStatus, Probe::kMiscStatus);
  EXPECT_EQ(control.dwViewStatus, static_cast<DWORD>(VIEWSTATUS_SOLIDBKGND | VIEWSTATUS_OPAQUE));
  QACONTAINER tooSmall{};
  tooSmall.cbSize = 8;
  EXPECT_EQ(quick->QuickActivate(&tooSmall, &control), E_INVALIDARG);
}

TEST_F(ControlObjectTest, ActivationNeedsAClientSite) {
  ax::ComPtr<IOleObject> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, object.PutVoid()), S_OK);
  EXPECT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, nullptr, nullptr), E_UNEXPECTED);
  EXPECT_EQ(object->DoVerb(OLEIVERB_HIDE, nullptr, nullptr, 0, nullptr, nullptr), S_OK);
  EXPECT_EQ(object->DoVerb(7, nullptr, nullptr, 0, nullptr, nullptr), OLEOBJ_S_INVALIDVERB);
  DWORD status = 0;
  EXPECT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
  EXPECT_EQ(status, Probe::kMiscStatus);
  EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
}

TEST_F(ControlObjectTest, DrawsOnlyWithBoundsUnlessActiveWindowless) {
  ax::ComPtr<IViewObject2> view;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IViewObject2, view.PutVoid()), S_OK);
  HDC dc = CreateCompatibleDC(nullptr);
  RECTL bounds{1, 2, 30, 40};
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr, nullptr, 0), E_INVALIDARG);
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
  DeleteDC(dc);
  SIZEL size{};
  EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &size), S_OK);
  EXPECT_EQ(size.cy, 200);

  ax::ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(view.As(pages, IID_ISpecifyPropertyPages), S_OK);
  CAUUID list{};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_TRUE(IsEqualGUID(list.pElems[0], kProbePage));
  CoTaskMemFree(list.pElems);
}

TEST_F(ControlObjectTest, AggregatedObjectsDelegateButKeepTheirOwnIdentity) {
  bidder::test::OuterObject outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IOleObject, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
  {
    ax::ComPtr<IOleObject> object;
    ASSERT_EQ(outer.QueryInterface(IID_IOleObject, object.PutVoid()), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    ax::ComPtr<IUnknown> identity;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), &outer);
    // The inner object's own IUnknown answers for itself.
    ax::ComPtr<IUnknown> innerIdentity;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, innerIdentity.PutVoid()), S_OK);
    EXPECT_EQ(innerIdentity.Get(), outer.inner);
  }
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(outer.inner->Release(), 0u);
}

}  // namespace
