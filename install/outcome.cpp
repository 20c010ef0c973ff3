#include "install/outcome.h"

#include <iterator>

namespace install {
namespace {

constexpr bool everyReasonOnceInOrder() {
    for (size_t i = 0; i < std::size(kFailureTexts); ++i) {
        if (static_cast<size_t>(kFailureTexts[i].failure) != i) {
            return false;
        }
    }
    return std::size(kFailureTexts) ==
           static_cast<size_t>(InstallFailure::SecureConnectionFailed) + 1;
}
static_assert(everyReasonOnceInOrder(), "kFailureTexts has one row per reason, in enum order");

const FailureText& textOf(InstallFailure failure) {
    auto index = static_cast<size_t>(failure);
    // Only a value cast from outside the enum misses the table: never success.
    return kFailureTexts[index < std::size(kFailureTexts)
                             ? index
                             : static_cast<size_t>(InstallFailure::DownloadFailed)];
}

}  // namespace

std::string failureReason(const InstallOutcome& outcome) {
    std::string reason = textOf(outcome.failure).reason;
    if (outcome.failure == InstallFailure::PackageUnavailable) {
        reason += " " + std::to_string(outcome.httpStatus);
    }
    // Addresses and paths come from outside: they must not break the line.
    return outcome.detail.empty() ? reason : reason + ": " + platform::singleLine(outcome.detail);
}

std::string failurePageText(const InstallOutcome& outcome) {
    std::string text = textOf(outcome.failure).pageText;
    if (outcome.failure == InstallFailure::PackageUnavailable) {
        text += " " + std::to_string(outcome.httpStatus) + "。";
    }
    return text;
}

int exitStatusOf(InstallFailure failure) {
    return textOf(failure).exitStatus;
}

InstallFailure failureOfIo(platform::IoError error) {
    switch (error) {
        case platform::IoError::None:
            return InstallFailure::None;
        case platform::IoError::DiskFull:
            return InstallFailure::DiskFull;
        case platform::IoError::Busy:
            return InstallFailure::ProductBusy;
        default:
            return InstallFailure::NotWritable;
    }
}

}  // namespace install
