#include "downloader_app.h"

#include <memory>

#include "downloader_dialog.h"
#include "look.h"
#include "system_drawing.h"

namespace velmoro {

bool CDownloaderApp::InitInstance() {
    toolkit::SetLook(window::StartingLook(window::RememberedLook(), arguments_));
    auto dialog = std::make_unique<CDownloaderDlg>();
    dialog->DoModal();
    return false;
}

}  // namespace velmoro
