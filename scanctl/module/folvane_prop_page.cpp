#include "module/folvane_prop_page.h"

#include "module/resource.h"

namespace folvane {

const ax::InterfaceEntry CFolvanePropPage::kInterfaces[1] = {
    ax::Entry<CFolvanePropPage, IPropertyPage>(IID_IPropertyPage),
};

CFolvanePropPage::CFolvanePropPage() : ax::PropertyPage(IDD_PROPPAGE_FOLVANE, IDS_FOLVANE_PPG_CAPTION) {}

}  // namespace folvane
