// Folvane.OCX seen from outside, as a COM client sees it: loaded from the
// test's directory and driven through its exports and interfaces only.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <string>
#include <vector>

#include "dialogs/dialog_answerer.h"
#include "folvane_idl.h"
#include "support/com_module.h"
#include "support/com_server_test.h"
#include "support/com_ref.h"
#include "support/dispatch_call.h"
#include "support/memory_stream.h"
#include "support/outer_object.h"

namespace {

using bidder::dialogs::DialogAnswerer;
using bidder::test::DispatchArgs;
using bidder::test::DispIdOf;
using bidder::test::HresultFn;
using bidder::test::Ref;
using bidder::test::StreamBytes;

// {0A56645C-3C91-4211-9BCB-E8ABB09C76F8}
const CLSID kPropPage = {0x0a56645c, 0x3c91, 0x4211, {0x9b, 0xcb, 0xe8, 0xab, 0xb0, 0x9c, 0x76, 0xf8}};

// What either output shows while the document has no page, in code page 936:
// 请先扫描文件。 ("please scan a document first").
constexpr char kScanFirst[] = "\xc7\xeb\xcf\xc8\xc9\xa8\xc3\xe8\xce\xc4\xbc\xfe\xa1\xa3";

struct FolvaneServer {
  static constexpr const wchar_t* kModule = L"Folvane.OCX";
  static const CLSID& Class() { return CLSID_Folvane; }
  static constexpr bool kOle = true;
};

class FolvaneClient : public bidder::test::ComServerTest<FolvaneServer> {
 protected:
  void SetUp() override {
    ComServerTest::SetUp();
    if (HasFatalFailure()) return;
    register_ = Module().Export<HresultFn>("DllRegisterServer");
    unregister_ = Module().Export<HresultFn>("DllUnregisterServer");
    ASSERT_TRUE(register_ && unregister_);
  }

  HresultFn register_ = nullptr;
  HresultFn unregister_ = nullptr;
};

TEST_F(FolvaneClient, NamesComeFromTheTypeLibraryWithALocaleAndFromTheTableOtherwise) {
  Ref<IDispatch> d;
  Create(IID_IDispatch, d);
  struct Case {
    const wchar_t* name;
    DISPID viaTable;      // locale 0, or no registered type library
    DISPID viaLibrary;    // a locale and the registered library
  };
  const Case cases[] = {{L"ConvertToPDF", 1, 1}, {L"converttopdf", 1, 1}, {L"PDFList", 2, DISPID_UNKNOWN},
                        {L"SelectScanner", 3, 3}, {L"SCANNEWDOCUMENT", 4, 4}, {L"ConvertToJPG", 5, 5},
                        {L"ReStart", 6, 6},       {L"Scan", DISPID_UNKNOWN, DISPID_UNKNOWN}};
  auto check = [&](LCID locale, bool library) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "locale " << locale << (library ? " registered " : " unregistered ")
                                      << std::string(c.name, c.name + wcslen(c.name)));
      HRESULT hr = E_FAIL;
      const DISPID expected = library ? c.viaLibrary : c.viaTable;
      const DISPID id = DispIdOf(d.p, c.name, locale, &hr);
      EXPECT_EQ(hr, expected == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
      EXPECT_EQ(id, expected);
    }
  };
  ASSERT_EQ(unregister_(), S_OK);
  Ref<ITypeInfo> info;
  EXPECT_HRESULT_FAILED(d->GetTypeInfo(0, 0x0409, info.put())) << "type information needs the registration";
  check(0x0409, false);
  check(0, false);

  ASSERT_EQ(register_(), S_OK);
  ASSERT_EQ(d->GetTypeInfo(0, 0x0409, info.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_TRUE(IsEqualIID(attr->guid, DIID__DFolvane));
  EXPECT_EQ(attr->cFuncs, 5);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FHIDDEN);
  info->ReleaseTypeAttr(attr);
  check(0x0409, true);
  check(0, false);
  // Two names (a member and a parameter) from the table: the parameter is unknown.
  LPOLESTR two[] = {const_cast<LPOLESTR>(L"ConvertToPDF"), const_cast<LPOLESTR>(L"Creator")};
  DISPID ids[2] = {};
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, two, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  ASSERT_EQ(unregister_(), S_OK);
}

// A call through Invoke whose result must stay empty: no method returns a value.
HRESULT Call(IDispatch* d, DISPID id, DispatchArgs& args, UINT* argError = nullptr, WORD flags = DISPATCH_METHOD) {
  VARIANT result;
  VariantInit(&result);
  result.vt = VT_I4;
  const HRESULT hr = bidder::test::Invoke(d, id, args, &result, flags, argError);
  EXPECT_EQ(result.vt, VT_EMPTY) << "no method returns a value";
  return hr;
}

TEST_F(FolvaneClient, DispatchErrorsComeBackBeforeAnyMethodRuns) {
  Ref<IDispatch> d;
  Create(IID_IDispatch, d);
  DialogAnswerer dialogs;  // a method that ran would show "scan first"
  DispatchArgs none;
  EXPECT_EQ(Call(d.p, 2, none), S_OK) << "PDFList: success, no effect";
  EXPECT_EQ(Call(d.p, 0, none), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(d.p, 7, none), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(d.p, -1, none), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(d.p, 6, none, nullptr, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND) << "methods only";

  DispatchArgs three;
  three.Text(L"x").Text(L"x").Text(L"x");
  EXPECT_EQ(Call(d.p, 1, three), DISP_E_BADPARAMCOUNT);
  DispatchArgs one;
  one.Text(L"x");
  EXPECT_EQ(Call(d.p, 6, one), DISP_E_BADPARAMCOUNT);

  // The third argument (Title) an array, which no string can stand for;
  // Invoke names it by its place in DISPPARAMS, last argument first.
  DispatchArgs mismatch;
  SAFEARRAYBOUND bound{2, 0};
  VARIANT array;
  VariantInit(&array);
  array.vt = VT_ARRAY | VT_I4;
  array.parray = SafeArrayCreate(VT_I4, 1, &bound);
  mismatch.Text(L"x").Text(L"x").Add(array).Text(L"x");
  UINT argError = 99;
  EXPECT_EQ(Call(d.p, 1, mismatch, &argError), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argError, 1u);
  DISPPARAMS p = none.Params();
  EXPECT_EQ(d->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(dialogs.Answered(), 0);
}

// Every method works on a control nobody has sited or activated. Without
// pages both outputs ask the user to scan first and show no dialog.
TEST_F(FolvaneClient, MethodsWorkBeforeActivationAndAskForPagesFirst) {
  Ref<IDispatch> d;
  Create(IID_IDispatch, d);
  DialogAnswerer dialogs;
  DispatchArgs none;
  EXPECT_EQ(Call(d.p, 6, none), S_OK);  // ReStart of an empty document
  DispatchArgs strings;
  strings.Text(L"").Text(L"").Text(L"").Text(L"");
  EXPECT_EQ(Call(d.p, 1, strings), S_OK);
  // Arguments that become strings: a number (Subject), and a reference to a
  // string (Title).
  BSTR held = SysAllocString(L"by reference");
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_BYREF | VT_BSTR;
  reference.pbstrVal = &held;
  {
    DispatchArgs converted;  // clearing a reference leaves what it refers to
    converted.Text(L"t").Text(L"t").Add(reference).Number(42);
    EXPECT_EQ(Call(d.p, 1, converted), S_OK);
  }
  SysFreeString(held);
  EXPECT_EQ(Call(d.p, 5, none), S_OK);
  ASSERT_EQ(dialogs.Texts().size(), 3u) << "one message box per output call, and no Save As dialog";
  for (const std::string& text : dialogs.Texts()) EXPECT_EQ(text, kScanFirst);
  EXPECT_FALSE(dialogs.WatchdogFired());
}

// A sink for the event interface, as a container offers one.
class Sink : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID__DFolvaneEvents)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    ++fired;
    return S_OK;
  }
  ULONG refs = 1;
  int fired = 0;
};

TEST_F(FolvaneClient, OffersItsEventInterfaceThroughOneConnectionPoint) {
  Ref<IConnectionPointContainer> container;
  Create(IID_IConnectionPointContainer, container);
  Ref<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, point.put()), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(container->FindConnectionPoint(DIID__DFolvaneEvents, point.put()), S_OK);
  IID iid{};
  ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(IsEqualIID(iid, DIID__DFolvaneEvents));
  Ref<IConnectionPointContainer> back;
  ASSERT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
  EXPECT_EQ(back.p, container.p);

  Ref<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
  IConnectionPoint* listed[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(listed[0], point.p);
  listed[0]->Release();

  Sink sink;
  DWORD first = 0, second = 0;
  ASSERT_EQ(point->Advise(&sink, &first), S_OK);
  ASSERT_EQ(point->Advise(&sink, &second), S_OK);
  EXPECT_NE(first, second);
  EXPECT_EQ(sink.refs, 3u);
  Ref<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
  CONNECTDATA data[3] = {};
  ASSERT_EQ(connections->Next(3, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(data[0].dwCookie, first);
  EXPECT_EQ(data[1].dwCookie, second);
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
  connections.reset();
  EXPECT_EQ(point->Unadvise(first), S_OK);
  EXPECT_EQ(point->Unadvise(first), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Advise(nullptr, &first), E_POINTER);

  Ref<IProvideClassInfo2> classInfo;
  ASSERT_EQ(container->QueryInterface(IID_IProvideClassInfo2, classInfo.putVoid()), S_OK);
  GUID source{};
  ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_TRUE(IsEqualIID(source, DIID__DFolvaneEvents));

  // Releasing the control lets go of the sinks still connected; nothing was fired.
  points.reset();
  point.reset();
  back.reset();
  classInfo.reset();
  container.reset();
  EXPECT_EQ(sink.refs, 1u);
  EXPECT_EQ(sink.fired, 0);
}

SIZEL ExtentOf(IUnknown* object) {
  Ref<IOleObject> ole;
  EXPECT_EQ(object->QueryInterface(IID_IOleObject, ole.putVoid()), S_OK);
  SIZEL size{-1, -1};
  ole->GetExtent(DVASPECT_CONTENT, &size);
  return size;
}

TEST_F(FolvaneClient, PersistsItsVersionAndExtentAndReadsOlderVersions) {
  Ref<IPersistStreamInit> persist;
  Create(IID_IPersistStreamInit, persist);
  ASSERT_EQ(persist->InitNew(), S_OK);
  // 100 by 50 pixels at the screen's resolution.
  HDC screen = GetDC(nullptr);
  const SIZEL initial{MulDiv(100, 2540, GetDeviceCaps(screen, LOGPIXELSX)),
                      MulDiv(50, 2540, GetDeviceCaps(screen, LOGPIXELSY))};
  ReleaseDC(nullptr, screen);
  SIZEL size = ExtentOf(persist.p);
  EXPECT_EQ(size.cx, initial.cx);
  EXPECT_EQ(size.cy, initial.cy);

  Ref<IOleObject> ole;
  ASSERT_EQ(persist->QueryInterface(IID_IOleObject, ole.putVoid()), S_OK);
  SIZEL changed{1234, 567};
  ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &changed), S_OK);
  Ref<IStream> stream;
  ASSERT_HRESULT_SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  ASSERT_EQ(persist->Save(stream.p, TRUE), S_OK);
  // The control's version 1.0, then the framework's extent record.
  const std::vector<unsigned char> saved = {0x00, 0x00, 0x01, 0x00, 0x00, 0x08, 0x00, 0x00, 0x13, 0x00,
                                            0xd2, 0x04, 0x00, 0x00, 0x13, 0x00, 0x37, 0x02, 0x00, 0x00};
  EXPECT_EQ(StreamBytes(stream.p), saved);
  ULARGE_INTEGER max{};
  ASSERT_EQ(persist->GetSizeMax(&max), S_OK);
  EXPECT_EQ(max.QuadPart, saved.size());

  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    bool loads;
  };
  auto withVersion = [&saved](unsigned char minorLow, unsigned char majorLow) {
    std::vector<unsigned char> b = saved;
    b[0] = minorLow;
    b[1] = 0;
    b[2] = majorLow;
    b[3] = 0;
    return b;
  };
  const Case cases[] = {
      {"same version", saved, true},
      {"older version 0.0", withVersion(0, 0), true},
      {"older version 0.0xFF", withVersion(0xFF, 0), true},
      {"newer minor version 1.5", withVersion(5, 1), true},
      {"newer major version 2.0", withVersion(0, 2), false},
      {"version only", {0x00, 0x00, 0x01, 0x00}, false},
      {"short extent", std::vector<unsigned char>(saved.begin(), saved.end() - 2), false},
      {"empty", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ref<IPersistStreamInit> loaded;
    Create(IID_IPersistStreamInit, loaded);
    ASSERT_EQ(loaded->InitNew(), S_OK);
    Ref<IStream> in;
    ASSERT_EQ(bidder::test::StreamHolding(c.bytes, in), S_OK);
    const HRESULT hr = loaded->Load(in.p);
    const SIZEL after = ExtentOf(loaded.p);
    if (c.loads) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(after.cx, 1234);
      EXPECT_EQ(after.cy, 567);
    } else {
      EXPECT_HRESULT_FAILED(hr);
      EXPECT_EQ(after.cx, initial.cx) << "refused data leaves the state as it was";
      EXPECT_EQ(after.cy, initial.cy);
    }
  }

  // The same through a storage's "Contents" stream.
  Ref<IStorage> storage;
  ASSERT_HRESULT_SUCCEEDED(bidder::test::StorageOnMemory(storage));
  Ref<IPersistStorage> asStorage;
  ASSERT_EQ(persist->QueryInterface(IID_IPersistStorage, asStorage.putVoid()), S_OK);
  ASSERT_EQ(asStorage->Save(storage.p, FALSE), S_OK);
  Ref<IPersistStorage> fromStorage;
  Create(IID_IPersistStorage, fromStorage);
  ASSERT_EQ(fromStorage->Load(storage.p), S_OK);
  EXPECT_EQ(ExtentOf(fromStorage.p).cx, 1234);
}

TEST_F(FolvaneClient, DrawsAWhiteRectangleWithAnEllipseInTheDCsPenAndBrush) {
  Ref<IViewObject> view;
  Create(IID_IViewObject, view);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 120, 70);
  ReleaseDC(nullptr, screen);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  const RECT all{0, 0, 120, 70};
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  FillRect(dc, &all, blue);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HPEN green = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
  HGDIOBJ oldBrush = SelectObject(dc, red);
  HGDIOBJ oldPen = SelectObject(dc, green);
  const RECTL bounds{10, 10, 110, 60};
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(0, 0, 255)) << "outside the bounds: untouched";
  EXPECT_EQ(GetPixel(dc, 11, 11), RGB(255, 255, 255)) << "a corner: the white fill";
  EXPECT_EQ(GetPixel(dc, 108, 58), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 60, 35), RGB(255, 0, 0)) << "the middle: the DC's brush";
  EXPECT_EQ(GetPixel(dc, 10, 35), RGB(0, 255, 0)) << "the left edge of the ellipse: the DC's pen";
  EXPECT_EQ(GetPixel(dc, 60, 10), RGB(0, 255, 0)) << "its top";
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldBitmap);
  DeleteObject(green);
  DeleteObject(red);
  DeleteObject(blue);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(FolvaneClient, DescribesItselfAsAnInvisibleControlWithOnePropertyPage) {
  Ref<IOleObject> ole;
  Create(IID_IOleObject, ole);
  DWORD status = 0;
  ASSERT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
  EXPECT_EQ(status, 0x20491u);
  Ref<IPersist> persist;
  ASSERT_EQ(ole->QueryInterface(IID_IPersist, persist.putVoid()), S_OK);
  CLSID clsid{};
  ASSERT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Folvane));
  Ref<ISpecifyPropertyPages> pages;
  ASSERT_EQ(ole->QueryInterface(IID_ISpecifyPropertyPages, pages.putVoid()), S_OK);
  CAUUID list{};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_TRUE(IsEqualCLSID(list.pElems[0], kPropPage));
  CoTaskMemFree(list.pElems);
  Ref<IDispatch> d;
  ASSERT_EQ(ole->QueryInterface(IID_IDispatch, d.putVoid()), S_OK);
  UINT count = 0;
  ASSERT_EQ(d->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(ole->QueryInterface(IID_IPersistPropertyBag, &none), E_NOINTERFACE);
  // Its type name, from the module itself while it is not registered.
  ASSERT_EQ(unregister_(), S_OK);
  LPOLESTR type = nullptr;
  ASSERT_EQ(ole->GetUserType(USERCLASSTYPE_FULL, &type), S_OK);
  EXPECT_STREQ(type, L"Folvane Control");
  CoTaskMemFree(type);
}

TEST_F(FolvaneClient, PropertyPageShowsItsDialogAndChangesNothing) {
  Ref<IClassFactory> pageFactory;
  ASSERT_EQ(getClassObject_(kPropPage, IID_IClassFactory, pageFactory.putVoid()), S_OK);
  Ref<IPropertyPage> page;
  ASSERT_EQ(pageFactory->CreateInstance(nullptr, IID_IPropertyPage, page.putVoid()), S_OK);
  Ref<IUnknown> control;
  Create(IID_IUnknown, control);
  ASSERT_EQ(page->SetObjects(1, &control.p), S_OK);

  PROPPAGEINFO info{};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  ASSERT_NE(info.pszTitle, nullptr);
  EXPECT_STREQ(info.pszTitle, L"General");
  CoTaskMemFree(info.pszTitle);
  CoTaskMemFree(info.pszDocString);
  CoTaskMemFree(info.pszHelpFile);

  HWND frame = CreateWindowExW(0, L"STATIC", L"frame", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(frame, nullptr);
  const RECT where{5, 5, 5 + info.size.cx, 5 + info.size.cy};
  ASSERT_EQ(page->Activate(frame, &where, FALSE), S_OK);
  HWND dialog = GetWindow(frame, GW_CHILD);
  ASSERT_NE(dialog, nullptr);
  // 250 by 62 dialog units, as the dialog's own font lays them out.
  RECT units{0, 0, 250, 62};
  MapDialogRect(dialog, &units);
  EXPECT_EQ(info.size.cx, units.right);
  EXPECT_EQ(info.size.cy, units.bottom);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)) & 0x40000040u, 0x40000040u);
  HWND text = GetDlgItem(dialog, 0xFFFF);
  ASSERT_NE(text, nullptr);
  char caption[200] = {};
  GetWindowTextA(text, caption, sizeof caption);
  EXPECT_STREQ(caption, "TODO: Place controls to manipulate properties of Folvane Control on this dialog.");
  char className[32] = {};
  GetClassNameA(text, className, sizeof className);
  EXPECT_STREQ(className, "Static");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(text, GWL_STYLE)), 0x50020000u);
  EXPECT_EQ(GetWindow(text, GW_HWNDNEXT), nullptr) << "one control only";

  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page->Deactivate(), S_OK);
  EXPECT_EQ(GetWindow(frame, GW_CHILD), nullptr);
  DestroyWindow(frame);
}

// The frame creates the page by its CLSID, so the module is registered here.
TEST_F(FolvaneClient, PropertiesVerbShowsThePropertyFrame) {
  ASSERT_EQ(register_(), S_OK);
  {
    Ref<IOleObject> ole;
    Create(IID_IOleObject, ole);
    DialogAnswerer dialogs(IDOK, 10000);
    EXPECT_EQ(ole->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr), S_OK);
    EXPECT_GE(dialogs.Answered(), 1);
    EXPECT_FALSE(dialogs.WatchdogFired());
  }
  EXPECT_EQ(unregister_(), S_OK);
}

TEST_F(FolvaneClient, AggregatesAndUnloadsOnlyWithoutObjectsOrLocks) {
  bidder::test::OuterObject outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory_->CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(factory_->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
  {
    Ref<IConnectionPointContainer> container;
    ASSERT_EQ(outer.QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    Ref<IUnknown> identity;
    ASSERT_EQ(container->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
    EXPECT_EQ(identity.p, static_cast<IUnknown*>(&outer));
  }
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);

  EXPECT_EQ(getClassObject_(CLSID_StdFont, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory_->LockServer(TRUE), S_OK);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(factory_->LockServer(FALSE), S_OK);
  {
    Ref<IDispatch> d;
    Create(IID_IDispatch, d);
    Ref<IConnectionPointContainer> container;
    ASSERT_EQ(d->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
    Ref<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    d.reset();
    container.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "an enumerator keeps the module";
  }
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

// "name|doc" of the library (index -1) or of one of its types.
std::wstring Doc(ITypeLib* lib, INT index) {
  const bidder::test::Documentation doc = bidder::test::DocumentationOf(lib, index);
  return doc.name + L"|" + doc.doc;
}

TEST_F(FolvaneClient, TypeLibraryDescribesTheInterfaceWithoutPDFList) {
  Ref<ITypeLib> lib;
  ASSERT_EQ(Module().LoadTypeLibrary(lib), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_FOLVANELib));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0x0409u);
  EXPECT_TRUE(attr->wLibFlags & LIBFLAG_FCONTROL);
  lib->ReleaseTLibAttr(attr);
  EXPECT_EQ(Doc(lib.p, -1), L"FOLVANELib|Folvane ActiveX Control module");
  EXPECT_NE(bidder::test::DocumentationOf(lib.p, -1).helpFile.find(L"Folvane.hlp"), std::wstring::npos);
  ASSERT_EQ(lib->GetTypeInfoCount(), 3u);

  struct Described {
    const IID* guid;
    TYPEKIND kind;
    std::wstring doc;
    WORD flags;  // that must be set
  };
  const Described described[] = {
      {&DIID__DFolvane, TKIND_DISPATCH, L"_DFolvane|Dispatch interface for Folvane Control", TYPEFLAG_FHIDDEN},
      {&DIID__DFolvaneEvents, TKIND_DISPATCH, L"_DFolvaneEvents|Event interface for Folvane Control", 0},
      {&CLSID_Folvane, TKIND_COCLASS, L"Folvane|Folvane Control", TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL},
  };
  for (UINT i = 0; i < 3; ++i) {
    Ref<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfo(i, info.put()), S_OK);
    TYPEATTR* t = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&t), S_OK);
    EXPECT_TRUE(IsEqualGUID(t->guid, *described[i].guid)) << i;
    EXPECT_EQ(t->typekind, described[i].kind);
    EXPECT_EQ(t->wTypeFlags & described[i].flags, described[i].flags);
    EXPECT_EQ(Doc(lib.p, static_cast<INT>(i)), described[i].doc);
    if (i == 1) {
      EXPECT_EQ(t->cFuncs, 0) << "no events";
    }
    if (i == 2) {
      ASSERT_EQ(t->cImplTypes, 2);
      INT flags0 = 0, flags1 = 0;
      info->GetImplTypeFlags(0, &flags0);
      info->GetImplTypeFlags(1, &flags1);
      EXPECT_EQ(flags0, IMPLTYPEFLAG_FDEFAULT);
      EXPECT_EQ(flags1, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    }
    if (i == 0) {
      const std::pair<MEMBERID, const wchar_t*> methods[] = {
          {1, L"ConvertToPDF"}, {3, L"SelectScanner"}, {4, L"ScanNewDocument"}, {5, L"ConvertToJPG"}, {6, L"ReStart"}};
      ASSERT_EQ(t->cFuncs, 5);
      for (UINT f = 0; f < 5; ++f) {
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(info->GetFuncDesc(f, &desc), S_OK);
        EXPECT_EQ(desc->memid, methods[f].first);
        EXPECT_EQ(desc->invkind, INVOKE_FUNC);
        EXPECT_EQ(desc->elemdescFunc.tdesc.vt, VT_VOID);
        EXPECT_EQ(desc->cParams, f == 0 ? 4 : 0);
        for (SHORT a = 0; a < desc->cParams; ++a) EXPECT_EQ(desc->lprgelemdescParam[a].tdesc.vt, VT_BSTR);
        BSTR names[5] = {};
        UINT count = 0;
        info->GetNames(desc->memid, names, 5, &count);
        EXPECT_STREQ(names[0], methods[f].second);
        if (f == 0) {
          ASSERT_EQ(count, 5u);
          EXPECT_STREQ(names[1], L"Creator");
          EXPECT_STREQ(names[2], L"Author");
          EXPECT_STREQ(names[3], L"Title");
          EXPECT_STREQ(names[4], L"Subject");
        }
        for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
        info->ReleaseFuncDesc(desc);
      }
    }
    info->ReleaseTypeAttr(t);
  }
}

TEST_F(FolvaneClient, CarriesItsResourcesInChinesePrc) {
  const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
  const std::pair<LPCWSTR, int> resources[] = {{L"TYPELIB", 1}, {RT_BITMAP, 1},  {RT_DIALOG, 200},
                                               {RT_VERSION, 1},  {RT_STRING, 1}, {RT_STRING, 13}};
  for (auto [type, id] : resources) {
    EXPECT_NE(FindResourceExW(Module().get(), type, MAKEINTRESOURCEW(id), chinese), nullptr) << id;
  }
  wchar_t text[64] = {};
  LoadStringW(Module().get(), 1, text, 64);
  EXPECT_STREQ(text, L"Folvane Control");
  LoadStringW(Module().get(), 2, text, 64);
  EXPECT_STREQ(text, L"Folvane Property Page");
  LoadStringW(Module().get(), 200, text, 64);
  EXPECT_STREQ(text, L"General");

  // The toolbox bitmap: 16 by 15 at 4 bits, the standard palette, light grey
  // around dark magenta letters.
  HRSRC found = FindResourceExW(Module().get(), RT_BITMAP, MAKEINTRESOURCEW(1), chinese);
  ASSERT_NE(found, nullptr);
  const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Module().get(), found)));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->biWidth, 16);
  EXPECT_EQ(info->biHeight, 15);
  EXPECT_EQ(info->biBitCount, 4);
  const auto* palette = reinterpret_cast<const RGBQUAD*>(info + 1);
  EXPECT_EQ(RGB(palette[5].rgbRed, palette[5].rgbGreen, palette[5].rgbBlue), RGB(0x80, 0, 0x80));
  EXPECT_EQ(RGB(palette[7].rgbRed, palette[7].rgbGreen, palette[7].rgbBlue), RGB(0xC0, 0xC0, 0xC0));
  const auto* bits = reinterpret_cast<const unsigned char*>(palette + 16);
  int grey = 0, magenta = 0;
  for (int i = 0; i < 15 * 8; ++i) {
    for (int nibble : {bits[i] >> 4, bits[i] & 0xF}) {
      grey += nibble == 7;
      magenta += nibble == 5;
    }
  }
  EXPECT_EQ(grey + magenta, 16 * 15);
  EXPECT_GT(magenta, 20);

  const bidder::test::VersionResource version(Module().Path());
  const VS_FIXEDFILEINFO* fixed = version.Fixed();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  const std::vector<std::pair<WORD, WORD>> translations = version.Translations();
  ASSERT_EQ(translations.size(), 1u);
  EXPECT_EQ(translations[0].first, 0x0409);
  EXPECT_EQ(translations[0].second, 1200);
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"FileVersion", L"1, 0, 0, 1"},
      {L"ProductVersion", L"1, 0, 0, 1"},
      {L"FileDescription", L"Folvane ActiveX Control Module"},
      {L"ProductName", L"Folvane ActiveX Control Module"},
      {L"InternalName", L"Folvane"},
      {L"OriginalFilename", L"Folvane.OCX"},
      {L"OLESelfRegister", L""}};
  for (const auto& [name, value] : strings) EXPECT_EQ(version.String(L"040904b0", name), value) << name;
}

// Created the way a page creates it: by its ProgID through the registry.
TEST_F(FolvaneClient, IsCreatedByItsProgIdOnceRegistered) {
  ASSERT_EQ(register_(), S_OK);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"VORLA.FolvaneCtrl.1", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Folvane));
  {
    Ref<IDispatch> d;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.putVoid()), S_OK);
    EXPECT_EQ(DispIdOf(d.p, L"ReStart", 0x0409), 6);
    DispatchArgs none;
    EXPECT_EQ(Call(d.p, 6, none), S_OK);
  }
  EXPECT_EQ(unregister_(), S_OK);
  EXPECT_EQ(unregister_(), S_OK) << "twice";
}

}  // namespace
