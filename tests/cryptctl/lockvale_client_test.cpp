// Lockvale.dll seen from outside, as a COM client sees it: loaded from the
// test's directory and driven through its exports and interfaces only.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <objsafe.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lockvale_idl.h"
#include "support/com_module.h"
#include "support/com_server_test.h"
#include "support/com_ref.h"
#include "support/dispatch_call.h"
#include "support/memory_stream.h"
#include "support/outer_object.h"

namespace {

using bidder::test::HresultFn;
using bidder::test::LoadedModule;
using bidder::test::Ref;
using bidder::test::StreamBytes;

struct LockvaleServer {
  static constexpr const wchar_t* kModule = L"Lockvale.dll";
  static const CLSID& Class() { return CLSID_EnOrDecrypt; }
  static constexpr bool kOle = false;
};

using LockvaleClient = bidder::test::ComServerTest<LockvaleServer>;

TEST_F(LockvaleClient, AnswersExactlyItsInterfacesWithOneIdentity) {
  Ref<IUnknown> object;
  Create(IID_IUnknown, object);
  const IID* offered[] = {&IID_IEnOrDecrypt, &IID_IDispatch, &IID_IViewObjectEx, &IID_IViewObject2,
                          &IID_IViewObject, &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject,
                          &IID_IOleWindow, &IID_IOleInPlaceActiveObject, &IID_IOleControl, &IID_IOleObject,
                          &IID_IPersistStreamInit, &IID_IPersist, &IID_ISupportErrorInfo,
                          &IID_ISpecifyPropertyPages, &IID_IQuickActivate, &IID_IPersistStorage,
                          &IID_IDataObject, &IID_IProvideClassInfo, &IID_IProvideClassInfo2};
  for (const IID* iid : offered) {
    Ref<IUnknown> viaInterface;
    ASSERT_EQ(object->QueryInterface(*iid, viaInterface.putVoid()), S_OK);
    Ref<IUnknown> identity;
    ASSERT_EQ(viaInterface->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
    EXPECT_EQ(identity.p, object.p);
  }
  const IID* absent[] = {&IID_IObjectSafety, &IID_IConnectionPointContainer, &IID_IPersistPropertyBag,
                         &IID_IOleInPlaceSite, &IID_IClassFactory};
  for (const IID* iid : absent) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(*iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
}

TEST_F(LockvaleClient, AggregatesAndDelegatesToTheOuterObject) {
  bidder::test::OuterObject outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory_->CreateInstance(&outer, IID_IEnOrDecrypt, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);

  ASSERT_EQ(factory_->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
  EXPECT_EQ(outer.refs, 1u);  // the inner object doesn't hold its outer object
  {
    Ref<IEnOrDecrypt> control;
    ASSERT_EQ(outer.QueryInterface(IID_IEnOrDecrypt, control.putVoid()), S_OK);
    EXPECT_EQ(outer.refs, 2u);  // references to the control count on the outer object
    Ref<IUnknown> identity;
    ASSERT_EQ(control->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
    EXPECT_EQ(identity.p, static_cast<IUnknown*>(&outer));
  }
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(LockvaleClient, HandsOutOnlyItsOwnClass) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject_(CLSID_StdFont, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(getClassObject_(CLSID_EnOrDecrypt, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  Ref<IClassFactory> again;
  ASSERT_EQ(getClassObject_(CLSID_EnOrDecrypt, IID_IClassFactory, again.putVoid()), S_OK);
  EXPECT_EQ(again.p, factory_.p);  // created once and cached
}

TEST_F(LockvaleClient, CanUnloadOnlyWithoutObjectsOrLocks) {
  EXPECT_EQ(canUnloadNow_(), S_OK);  // the factory alone doesn't hold the module
  {
    Ref<IEnOrDecrypt> a, b;
    Create(IID_IEnOrDecrypt, a);
    Create(IID_IEnOrDecrypt, b);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    a.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
  }
  EXPECT_EQ(canUnloadNow_(), S_OK);
  EXPECT_EQ(factory_->LockServer(TRUE), S_OK);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(factory_->LockServer(FALSE), S_OK);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(LockvaleClient, PersistsItsExtentThroughStreamsAndStorages) {
  Ref<IOleObject> object;
  Create(IID_IOleObject, object);
  SIZEL size{};
  ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 5080);
  EXPECT_EQ(size.cy, 5080);
  Ref<IPersistStreamInit> persist;
  ASSERT_EQ(object->QueryInterface(IID_IPersistStreamInit, persist.putVoid()), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  SIZEL changed{1234, 567};
  ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &changed), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);

  Ref<IStream> stream;
  ASSERT_HRESULT_SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  ASSERT_EQ(persist->Save(stream.p, TRUE), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  // Format version 0x0800, then each dimension as VT_UI4 and its value.
  const std::vector<unsigned char> expected = {0x00, 0x08, 0x00, 0x00, 0x13, 0x00, 0xd2, 0x04, 0x00, 0x00,
                                               0x13, 0x00, 0x37, 0x02, 0x00, 0x00};
  EXPECT_EQ(StreamBytes(stream.p), expected);

  Ref<IPersistStreamInit> loaded;
  Create(IID_IPersistStreamInit, loaded);
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(loaded->Load(stream.p), S_OK);
  Ref<IOleObject> loadedObject;
  ASSERT_EQ(loaded->QueryInterface(IID_IOleObject, loadedObject.putVoid()), S_OK);
  ASSERT_EQ(loadedObject->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 1234);
  EXPECT_EQ(size.cy, 567);

  // The same through a compound storage.
  Ref<IStorage> storage;
  ASSERT_HRESULT_SUCCEEDED(bidder::test::StorageOnMemory(storage));
  Ref<IPersistStorage> toStorage;
  ASSERT_EQ(object->QueryInterface(IID_IPersistStorage, toStorage.putVoid()), S_OK);
  ASSERT_EQ(toStorage->Save(storage.p, TRUE), S_OK);
  Ref<IPersistStorage> fromStorage;
  Create(IID_IPersistStorage, fromStorage);
  ASSERT_EQ(fromStorage->Load(storage.p), S_OK);
  Ref<IOleObject> fromStorageObject;
  ASSERT_EQ(fromStorage->QueryInterface(IID_IOleObject, fromStorageObject.putVoid()), S_OK);
  ASSERT_EQ(fromStorageObject->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 1234);
  EXPECT_EQ(size.cy, 567);
}

TEST_F(LockvaleClient, RefusesPersistedStateItCannotRead) {
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {"newer format", {0x00, 0x09, 0x00, 0x00, 0x13, 0x00, 1, 0, 0, 0, 0x13, 0x00, 1, 0, 0, 0}},
      {"truncated", {0x00, 0x08, 0x00, 0x00, 0x13, 0x00, 1, 0}},
      {"string instead of a number", {0x00, 0x08, 0x00, 0x00, 0x08, 0x00, 1, 0, 0, 0, 0x13, 0x00, 1, 0, 0, 0}},
      {"negative size", {0x00, 0x08, 0x00, 0x00, 0x03, 0x00, 0xff, 0xff, 0xff, 0xff, 0x13, 0x00, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Ref<IPersistStreamInit> persist;
    Create(IID_IPersistStreamInit, persist);
    Ref<IStream> stream;
    ASSERT_EQ(bidder::test::StreamHolding(c.bytes, stream), S_OK);
    EXPECT_TRUE(FAILED(persist->Load(stream.p))) << c.name;
    Ref<IOleObject> object;
    ASSERT_EQ(persist->QueryInterface(IID_IOleObject, object.putVoid()), S_OK);
    SIZEL size{};
    object->GetExtent(DVASPECT_CONTENT, &size);
    EXPECT_EQ(size.cx, 5080) << c.name << ": a failed load keeps the extent";
  }
}

TEST_F(LockvaleClient, DispatchesThroughItsTypeLibrary) {
  Ref<IDispatch> dispatch;
  Create(IID_IDispatch, dispatch);
  const wchar_t* names[] = {L"QVDecryptFile", L"SourecFilePathAndName", L"DecrytpPasswordData"};
  DISPID ids[3] = {};
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names), 3, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1], 4);
  EXPECT_EQ(ids[2], 3);
  const wchar_t* encrypt[] = {L"QVEncryptFile"};
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(encrypt), 1, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 1);

  Ref<ITypeInfo> info;
  ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.put()), S_OK);
  EXPECT_EQ(bidder::test::DocumentationOf(info.p).doc, L"IEnOrDecrypt \u63a5\u53e3");  // IEnOrDecrypt 接口
  // The interface side of the dual interface lists the result parameter too.
  HREFTYPE vtableSide = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(-1, &vtableSide), S_OK);
  Ref<ITypeInfo> vtableInfo;
  ASSERT_EQ(info->GetRefTypeInfo(vtableSide, vtableInfo.put()), S_OK);
  BSTR parameterNames[8] = {};
  UINT count = 0;
  ASSERT_EQ(vtableInfo->GetNames(1, parameterNames, 8, &count), S_OK);
  const wchar_t* expected[] = {L"QVEncryptFile", L"VerifyPINFlag", L"PIN", L"SetEncryptTypeFlag",
                               L"EncrytpPasswordData", L"SourecFilePathAndName", L"DestinationFilePathAndName",
                               L"Reserve"};
  ASSERT_EQ(count, 8u);
  for (UINT i = 0; i < count; ++i) {
    EXPECT_STREQ(parameterNames[i], expected[i]);
    SysFreeString(parameterNames[i]);
  }
  Ref<ITypeLib> library;
  UINT index = 0;
  ASSERT_EQ(info->GetContainingTypeLib(library.put(), &index), S_OK);
  EXPECT_EQ(bidder::test::DocumentationOf(library.p, -1).doc, L"Lockvale 1.0 \u7c7b\u578b\u5e93");  // Lockvale 1.0 类型库

  // A call through Invoke: a missing source gives its message as the result.
  bidder::test::DispatchArgs args;
  args.Number(0)   // VerifyPINFlag
      .Text(L"")   // PIN
      .Number(1)   // type flag
      .Text(L"pw") // pass phrase
      .Text(L"C:\\no-such-dir\\missing.bin")
      .Text(L"C:\\no-such-dir\\out.bin");
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(bidder::test::Invoke(dispatch.p, 1, args, &result), S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_STREQ(result.bstrVal, L"\u6e90\u6587\u4ef6\u540d\u79f0\u6709\u8bef");  // 源文件名称有误
  VariantClear(&result);
}

TEST_F(LockvaleClient, ReportsThroughTheResultStringOnly) {
  Ref<IEnOrDecrypt> control;
  Create(IID_IEnOrDecrypt, control);
  BSTR empty = SysAllocString(L"");
  BSTR missing = SysAllocString(L"C:\\no-such-dir\\missing.bin");
  BSTR result = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(control->QVEncryptFile(0, nullptr, 1, nullptr, missing, missing, nullptr), E_POINTER);
  EXPECT_EQ(control->QVDecryptFile(0, nullptr, 9, empty, missing, missing, &result), S_OK);
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(result, L"\u6e90\u6587\u4ef6\u540d\u79f0\u6709\u8bef");
  SysFreeString(result);
  SysFreeString(empty);
  SysFreeString(missing);

  Ref<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(control->QueryInterface(IID_ISupportErrorInfo, errorInfo.putVoid()), S_OK);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IEnOrDecrypt), S_OK);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

TEST_F(LockvaleClient, DescribesItselfAsAnInvisibleControlWithoutEvents) {
  Ref<IOleObject> object;
  Create(IID_IOleObject, object);
  DWORD status = 0;
  ASSERT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
  EXPECT_EQ(status, 132497u);
  Ref<IProvideClassInfo2> classInfo;
  ASSERT_EQ(object->QueryInterface(IID_IProvideClassInfo2, classInfo.putVoid()), S_OK);
  Ref<ITypeInfo> coclass;
  ASSERT_EQ(classInfo->GetClassInfo(coclass.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_EnOrDecrypt));
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCONTROL);
  coclass->ReleaseTypeAttr(attr);
  GUID events = CLSID_EnOrDecrypt;
  EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), E_FAIL);
  EXPECT_TRUE(IsEqualGUID(events, GUID_NULL));
  Ref<ISpecifyPropertyPages> pages;
  ASSERT_EQ(object->QueryInterface(IID_ISpecifyPropertyPages, pages.putVoid()), S_OK);
  CAUUID list{5, reinterpret_cast<GUID*>(1)};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  EXPECT_EQ(list.cElems, 0u);
  EXPECT_EQ(list.pElems, nullptr);
}

TEST_F(LockvaleClient, DrawsItsPlaceholderWithinTheBounds) {
  Ref<IViewObjectEx> view;
  Create(IID_IViewObjectEx, view);
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 200, -100, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bitmap, nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  std::memset(bits, 0x80, 200 * 100 * 4);  // grey: outside the bounds nothing may change
  RECTL bounds{20, 10, 180, 90};
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), DV_E_DVASPECT);
  GdiFlush();
  auto pixel = [&](int x, int y) { return static_cast<const DWORD*>(bits)[y * 200 + x] & 0xFFFFFF; };
  EXPECT_EQ(pixel(20, 80), 0x000000u);   // the rectangle's black border
  EXPECT_EQ(pixel(100, 10), 0x000000u);
  EXPECT_EQ(pixel(25, 15), 0xFFFFFFu);   // filled white inside
  EXPECT_EQ(pixel(10, 50), 0x808080u);   // untouched outside the bounds
  EXPECT_EQ(pixel(100, 95), 0x808080u);
  int textPixels = 0;                    // the caption, centred on (100, 50)
  for (int y = 30; y < 55; ++y)
    for (int x = 30; x < 170; ++x) textPixels += pixel(x, y) == 0x000000u;
  EXPECT_GT(textPixels, 20);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(LockvaleClient, CarriesItsVersionAndToolboxResources) {
  const bidder::test::VersionResource version(Module().Path());
  const VS_FIXEDFILEINFO* fixed = version.Fixed();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  const std::vector<std::pair<WORD, WORD>> translations = version.Translations();
  ASSERT_FALSE(translations.empty());
  EXPECT_EQ(translations[0].first, 0x0804);
  EXPECT_EQ(translations[0].second, 936);
  for (const wchar_t* name : {L"InternalName", L"OriginalFilename"}) {
    EXPECT_EQ(version.String(L"080403a8", name), L"Lockvale.dll") << name;
  }
  HBITMAP toolbox = static_cast<HBITMAP>(LoadImageW(Module().get(), MAKEINTRESOURCEW(102), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(toolbox, nullptr);
  BITMAP bm{};
  ASSERT_GT(GetObjectW(toolbox, sizeof bm, &bm), 0);
  EXPECT_EQ(bm.bmWidth, 16);
  EXPECT_EQ(bm.bmHeight, 16);
  DeleteObject(toolbox);
  HRSRC raw = FindResourceW(Module().get(), MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(2));  // RT_BITMAP
  ASSERT_NE(raw, nullptr);
  auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Module().get(), raw)));
  EXPECT_EQ(header->biBitCount, 4);
  wchar_t name[32] = {};
  EXPECT_GT(LoadStringW(Module().get(), 100, name, 32), 0);
  EXPECT_STREQ(name, L"Lockvale");
}

}  // namespace

namespace {

// Registration refuses a module path of 260 characters or more (the registry
// scripts and the type library registration take it whole) before writing anything.
TEST(LockvaleRegistration, RefusesAModulePathTooLongToRegister) {
  wchar_t here[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, here, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::wstring dir(here, n);
  dir.resize(dir.find_last_of(L'\\'));
  const std::wstring source = dir;
  dir += L"\\long-path";
  CreateDirectoryW(dir.c_str(), nullptr);
  while (dir.size() < 250) {
    dir += L"\\directory-making-the-path-long";
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  for (const wchar_t* file : {L"\\Lockvale.dll", L"\\FT_ND_API.dll"}) {
    ASSERT_TRUE(CopyFileW((source + file).c_str(), (dir + file).c_str(), FALSE));
  }
  const std::wstring dll = dir + L"\\Lockvale.dll";
  ASSERT_GE(dll.size(), static_cast<size_t>(MAX_PATH));
  {  // the copy is unloaded before its files go
    const LoadedModule module(dll.c_str(), LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_TRUE(module) << GetLastError();
    const auto registerServer = module.Export<HresultFn>("DllRegisterServer");
    ASSERT_NE(registerServer, nullptr);
    // The prefix may hold an earlier registration (unregistering keeps the AppID
    // root), so compare with what was there before rather than with nothing.
    auto keyExists = [](const wchar_t* path) {
      HKEY key = nullptr;
      const bool exists = RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
      if (key) RegCloseKey(key);
      return exists;
    };
    const wchar_t* const watchedKeys[] = {L"AppID\\Lockvale.DLL", L"Lockvale.EnOrDecrypt"};
    std::vector<bool> existedBefore;
    for (const wchar_t* path : watchedKeys) existedBefore.push_back(keyExists(path));
    // Registration runs under the system default locale and gives the caller's back.
    const LCID callerLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), SORT_DEFAULT);
    ASSERT_TRUE(SetThreadLocale(callerLocale));
    EXPECT_EQ(registerServer(), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(GetThreadLocale(), callerLocale);
    for (size_t i = 0; i < std::size(watchedKeys); ++i) {
      EXPECT_EQ(keyExists(watchedKeys[i]), existedBefore[i]) << i;
    }
  }
  for (const wchar_t* file : {L"\\Lockvale.dll", L"\\FT_ND_API.dll"}) DeleteFileW((dir + file).c_str());
  while (dir.size() > source.size() && RemoveDirectoryW(dir.c_str())) dir.resize(dir.find_last_of(L'\\'));
}

}  // namespace
