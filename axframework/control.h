#pragma once
// The OLE control interfaces of a control, over one ControlState.
// A control class derives from Control<Derived> (and from its own dispatch
// interface) and supplies:
//   static const CLSID& ClassId();
//   static constexpr DWORD kMiscStatus;              // OLEMISC_* bits
//   static TypeLibraryId TypeLibrary();              // for IProvideClassInfo
//   static const IID* EventInterface();              // nullptr: no events
//   static std::span<const CLSID> PropertyPages();   // empty: none
//   void OnDraw(HDC dc, const RECT& bounds);         // design-time picture
// and lists the interfaces it answers in its kInterfaces table (com_object.h),
// made by ControlInterfaces below.
#include <array>
#include <concepts>
#include <cstddef>

#include "com_object.h"
#include "control_misc_impl.h"
#include "control_state.h"
#include "in_place_impl.h"
#include "ole_object_impl.h"
#include "persistence_impl.h"
#include "view_object_impl.h"

namespace ax {

template <class Derived>
class Control : public ViewObjectImpl<Derived>,
                public InPlaceImpl<Derived>,
                public OleObjectImpl<Derived>,
                public PersistenceImpl<Derived>,
                public SpecifyPropertyPagesImpl<Derived>,
                public QuickActivateImpl<Derived>,
                public DataObjectImpl<Derived>,
                public ProvideClassInfoImpl<Derived> {
 public:
  explicit Control(SIZEL defaultExtent) : state_(defaultExtent) {}
  // A container that released the control without closing it leaves no
  // window behind: it goes while the control class is still whole, so no
  // message can reach a half-destroyed object. A control class with a
  // FinalRelease of its own calls this one.
  void FinalRelease() { DestroyControlWindow(state_.window); }
  ~Control() { DestroyControlWindow(state_.window); }

  ControlState& ControlData() { return state_; }

  // Tells the container that the picture changed.
  void FireViewChange() {
    if (state_.window) {
      InvalidateRect(state_.window, nullptr, TRUE);
      return;
    }
    if (state_.inPlaceActive && state_.windowless && state_.inPlaceSite) {
      ComPtr<IOleInPlaceSiteWindowless> site;
      if (SUCCEEDED(state_.inPlaceSite.As(site, IID_IOleInPlaceSiteWindowless))) {
        site->InvalidateRect(nullptr, TRUE);
        return;
      }
    }
    if (state_.viewSink && (state_.viewAspects & DVASPECT_CONTENT)) {
      state_.viewSink->OnViewChange(DVASPECT_CONTENT, -1);
    }
  }

 private:
  ControlState state_;
};

// How many entries ControlInterfaces gives besides the control's own.
inline constexpr std::size_t kControlInterfaceCount = 19;
template <std::size_t OwnCount>
using ControlInterfaceTable = std::array<InterfaceEntry, kControlInterfaceCount + OwnCount>;

// A control's kInterfaces table: its dispatch interface (also as IDispatch),
// the interfaces Control<Derived> implements, then the control's own entries
// (ISupportErrorInfo, IConnectionPointContainer, ...):
//
//   const ax::ControlInterfaceTable<1> CMyCtrl::kInterfaces = ax::ControlInterfaces<CMyCtrl, IMyCtrl>(
//       IID_IMyCtrl, ax::Entry<CMyCtrl, ISupportErrorInfo>(IID_ISupportErrorInfo));
template <class Derived, class Dispatch, std::same_as<InterfaceEntry>... Own>
constexpr ControlInterfaceTable<sizeof...(Own)> ControlInterfaces(const IID& dispatchIid, Own... own) {
  return {Entry<Derived, Dispatch>(dispatchIid),
          Entry<Derived, IDispatch, Dispatch>(IID_IDispatch),
          Entry<Derived, IViewObjectEx>(IID_IViewObjectEx),
          Entry<Derived, IViewObject2, IViewObjectEx>(IID_IViewObject2),
          Entry<Derived, IViewObject, IViewObjectEx>(IID_IViewObject),
          Entry<Derived, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless),
          Entry<Derived, IOleInPlaceObject, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObject),
          Entry<Derived, IOleWindow, IOleInPlaceObjectWindowless>(IID_IOleWindow),
          Entry<Derived, IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject),
          Entry<Derived, IOleControl>(IID_IOleControl),
          Entry<Derived, IOleObject>(IID_IOleObject),
          Entry<Derived, IPersistStreamInit>(IID_IPersistStreamInit),
          Entry<Derived, IPersist, IPersistStreamInit>(IID_IPersist),
          Entry<Derived, IPersistStorage>(IID_IPersistStorage),
          Entry<Derived, ISpecifyPropertyPages>(IID_ISpecifyPropertyPages),
          Entry<Derived, IQuickActivate>(IID_IQuickActivate),
          Entry<Derived, IDataObject>(IID_IDataObject),
          Entry<Derived, IProvideClassInfo, IProvideClassInfo2>(IID_IProvideClassInfo),
          Entry<Derived, IProvideClassInfo2>(IID_IProvideClassInfo2),
          own...};
}

}  // namespace ax
