#pragma once
// CFolvanePropPage: the control's one property page, dialog 200 captioned
// "General" (string 200). No property is bound to it.
#include "axframework/com_object.h"
#include "axframework/property_page.h"

namespace folvane {

class CFolvanePropPage : public ax::PropertyPage {
 public:
  static const ax::InterfaceEntry kInterfaces[1];
  CFolvanePropPage();
};

}  // namespace folvane
