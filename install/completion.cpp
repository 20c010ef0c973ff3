// The completion after a successful download, shared by the window and the
// unattended run.
#include <iostream>

#include "install/install.h"

ExtractResult completeInstallation(InstallerContext& context, const std::string& productFolder,
                                   const std::string& exePath) {
    ExtractResult extracted =
        extractArchive(archivePathFor(productFolder), productFolder, std::cout);
    if (!extracted.ok()) {
        // A product that did not unpack is neither registered nor linked,
        // and no success is reported.
        platform::debugLog(std::string("extraction failed: ") +
                           describeExtractStatus(extracted.status) + " " + extracted.failedEntry);
        return extracted;
    }
    writeUninstallEntries(context);
    ShortcutLinks links = shortcutLinkPaths();
    createShortcut(exePath, links.userLink, links.commonLink);
    context.reportEvent(1, "pc_install_success");
    return extracted;
}
