#include "control/dispatch_table.h"

#include "control/folvane_ctrl.h"

namespace folvane {

const std::array<ax::DispatchMethod<CFolvaneCtrl>, kFolvaneMethodCount> kFolvaneDispatchTable = {{
    {L"ConvertToPDF", 4, &CFolvaneCtrl::ConvertToPDF},
    {L"PDFList", 0, &CFolvaneCtrl::PDFList},
    {L"SelectScanner", 0, &CFolvaneCtrl::SelectScanner},
    {L"ScanNewDocument", 0, &CFolvaneCtrl::ScanNewDocument},
    {L"ConvertToJPG", 0, &CFolvaneCtrl::ConvertToJPG},
    {L"ReStart", 0, &CFolvaneCtrl::ReStart},
}};

}  // namespace folvane
