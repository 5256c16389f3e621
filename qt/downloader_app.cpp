#include "downloader_app.h"

#include <memory>

#include "downloader_dialog.h"

namespace velmoro {

bool CDownloaderApp::InitInstance() {
    auto dialog = std::make_unique<CDownloaderDlg>();
    dialog->DoModal();
    return false;
}

}  // namespace velmoro
