#include "app/silent.h"

#include <utility>

#include "app/startup.h"
#include "backend/backend.h"
#include "context/installer_context.h"
#include "install/install.h"
#include "platform/platform.h"

namespace app {
namespace {

using context::InstallerContext;
using install::InstallFailure;

int fail(int status, const std::string& reason) {
    platform::printErrorLine("hobnar-setup: " + reason);
    platform::debugLog(reason);
    return status;
}

// The run's news on the console and in the log: the progress lines and the
// unpacked entries on standard output, the end on standard output, a
// failure on standard error.
class ConsoleObserver : public install::InstallObserver {
  public:
    explicit ConsoleObserver(std::string productFolder)
        : m_productFolder(std::move(productFolder)) {}
    void onProgress(int percent, double bytesPerSecond) override {
        say("已下载：" + std::to_string(percent) + "% 下载速度：" +
            platform::formatNumber("%g", bytesPerSecond / 1024.0) + "kb/s");
    }
    void onEntryUnpacked(const std::string& name) override { say(name); }
    void onFinished() override { say("installed: " + platform::singleLine(m_productFolder)); }
    void onFailed(const install::InstallOutcome& outcome) override {
        platform::printErrorLine("hobnar-setup: " + install::failureReason(outcome));
    }
    // The run itself logs its steps and its end.

  private:
    static void say(const std::string& line) {
        platform::printLine(line);
        platform::writeLogLine(line);
    }
    std::string m_productFolder;
};

std::string productFolderOf(const CommandLine& line) {
    std::string installFolder =
        line.dirGiven ? absoluteFolder(line.dir) : platform::roamingAppDataDir();
    return installFolder.empty() ? std::string() : install::productFolderFor(installFolder);
}

// Once the install information is in: the run, as a click on the start
// button would make it, on this thread.
int installWhenAnnounced(InstallerContext& context, const CommandLine& line,
                         install::Deadline deadline) {
    std::shared_future<install::PackageFacts> package = context.announcedPackage();
    if (!install::readyBy(package, deadline)) {
        return fail(install::exitStatusOf(InstallFailure::TimedOut),
                    install::failureReason({InstallFailure::TimedOut, 0, ""}));
    }
    if (!package.get().announced) {
        return fail(kExitNoBackend, "the backend at " + context.apiBaseUrl +
                                        " did not answer; nothing was installed");
    }
    install::InstallPlan plan = context::planFor(context, productFolderOf(line));
    plan.deadline = deadline;
    install::InstallRun run(plan, context, std::make_unique<ConsoleObserver>(plan.productFolder));
    run.startInstall();
    context.reportEvent(1, "pc_click_install");
    context.reportEvent(1, "pc_Installing");
    platform::printLine("installing " + platform::singleLine(package.get().url) + " (" +
                        context.packageSizeText + ") into " +
                        platform::singleLine(plan.productFolder));
    return install::exitStatusOf(run.run().failure);
}

}  // namespace

int runSilentInstall(const CommandLine& line, const std::string& signingKey) {
    InstallerContext& context = InstallerContext::instance();
    context.signingKey = signingKey;
    std::string installed = context.installedProductPath();
    if (!installed.empty()) {
        std::string said = "already installed: " + platform::singleLine(installed);
        platform::printLine(said);
        platform::writeLogLine(said);
        return kExitInstalled;
    }
    if (backend::initializeHttp() != 0) {
        return fail(kExitHttpInitFailed, "the HTTP library cannot be initialised");
    }
    install::Deadline deadline =
        line.timeout ? std::chrono::steady_clock::now() + *line.timeout : install::kNoDeadline;
    context.applyLaunchParameters(extractPromoteId(line.argumentText), line.argumentText);
    platform::debugLog("unattended installation; backend " + context.apiBaseUrl);
    context.reportEvent(0, "pc_show_install");
    int status = installWhenAnnounced(context, line, deadline);
    // Whatever is still queued goes out before the program ends, within
    // the run's deadline.
    context.finishRequests(deadline);
    return status;
}

}  // namespace app
