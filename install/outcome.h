// How an install run ends: the failure reasons, and beside them the one
// table that gives each its line for the unattended mode and the log, the
// text of the window's failure page and the exit status of an unattended
// run.  Pure data and functions; any thread.
#pragma once

#include <string>

#include "platform/platform.h"

namespace install {

enum class InstallFailure {
    None,
    FolderFailed,            // the product folder cannot be created
    FolderTooLong,           // a product file's path would be too long for the system
    AnotherInstallRunning,   // another installation holds the install folder
    DownloadFailed,          // every download attempt failed
    PackageUnavailable,      // the package address kept answering an HTTP error
    PackageTooLarge,         // the server kept sending more than the package can be
    AddressRefused,          // the package address is malformed or not http(s)
    DiskFull,                // the volume filled up (download or unpacking)
    NotWritable,             // the archive or the product folder cannot be written
    ProductBusy,             // a product file is in use (the product runs)
    UnrarMissing,            // the UnRAR library cannot be loaded
    NotAnArchive,            // the downloaded file is no RAR archive
    DamagedPackage,          // an entry of the archive could not be unpacked
    EncryptedPackage,        // the archive wants a password
    UnsafePackage,           // an entry would land outside the product folder
    MainProgramMissing,      // the package holds no hobnarAudio.exe
    RegistrationFailed,      // the product could not be recorded in the registry
    DigestMismatch,          // the package is not the one the digest names
    DigestMalformed,         // the announced digest is no SHA-256 digest
    SignatureMissing,        // no signature could be fetched beside the package
    SignatureMalformed,      // the signature is no minisign signature we can read
    SignatureInvalid,        // the signature was not made by our key for these bytes
    SignatureOtherVersion,   // our signature, but for another version than this one
    TimedOut,                // the unattended run's deadline came first
    ForeignFile,             // another user's file or folder, or a link, stands in the way
    SecureConnectionFailed,  // no TLS connection with the package server could be made
};

struct FailureText {
    InstallFailure failure;
    int exitStatus;        // of an unattended run (README, --help)
    const char* reason;    // English, for the unattended mode and the log
    const char* pageText;  // the window's failure page
};

// Every reason once, in the order of the enum.
inline constexpr FailureText kFailureTexts[] = {
    {InstallFailure::None, 0, "installed", ""},
    {InstallFailure::FolderFailed, 3, "cannot create the product folder",
     "无法创建安装目录，请选择其他位置后重试。"},
    {InstallFailure::FolderTooLong, 13, "the install folder's name is too long",
     "安装目录的路径太长，请选择较短的路径。"},
    {InstallFailure::AnotherInstallRunning, 8, "another installation into this folder is running",
     "另一个安装程序正在向此目录安装，请等待其完成后重试。"},
    {InstallFailure::DownloadFailed, 4, "the package could not be downloaded",
     "安装包下载失败，请检查网络连接后重试。"},
    {InstallFailure::PackageUnavailable, 4, "the package address answered HTTP",
     "安装包下载失败，服务器拒绝了请求，状态码 HTTP"},
    {InstallFailure::PackageTooLarge, 4,
     "the package server kept sending more than the announced size (or 4 GiB without one)",
     "安装包下载失败，服务器发送的数据超过了安装包的大小。"},
    {InstallFailure::AddressRefused, 12, "the package address is not a usable http(s) address",
     "安装包地址无效，无法下载。"},
    {InstallFailure::DiskFull, 10, "the disk is full",
     "磁盘空间不足，请清理磁盘或选择其他位置后重试。"},
    {InstallFailure::NotWritable, 11, "cannot write into the install folder",
     "无法写入安装目录，请检查权限或选择其他位置。"},
    {InstallFailure::ProductBusy, 11, "a product file is in use; close hobnarAudio and try again",
     "程序正在运行，请先关闭 hobnar 语音文字转换器后重试。"},
    {InstallFailure::UnrarMissing, 7,
     "the package cannot be unpacked: the UnRAR library is not available",
     "缺少解压组件（UnRAR 库），无法解压安装包。安装该组件后可重试，无需重新下载。"},
    {InstallFailure::NotAnArchive, 5, "the package could not be unpacked (not a RAR archive)",
     "安装包已损坏，解压失败，请重试。"},
    {InstallFailure::DamagedPackage, 5, "the package could not be unpacked (a damaged entry)",
     "安装包已损坏，解压失败，请重试。"},
    {InstallFailure::EncryptedPackage, 5, "the package could not be unpacked (it is encrypted)",
     "安装包已加密，无法解压。"},
    {InstallFailure::UnsafePackage, 5,
     "the package could not be unpacked (an entry outside the product folder)",
     "安装包内容异常（含有指向安装目录之外的文件），已停止安装。"},
    {InstallFailure::MainProgramMissing, 5, "the package holds no hobnarAudio.exe",
     "安装包不完整（缺少主程序），已停止安装。"},
    {InstallFailure::RegistrationFailed, 9, "the product could not be registered",
     "无法写入注册信息，安装未完成，请以管理员身份重试。"},
    {InstallFailure::DigestMismatch, 14,
     "the downloaded package does not match its announced SHA-256 digest",
     "安装包校验失败（与公布的 SHA-256 摘要不符），已删除，请重试。"},
    {InstallFailure::DigestMalformed, 14,
     "the announced SHA-256 digest is malformed, so the package cannot be checked",
     "服务器公布的安装包摘要格式错误，无法校验安装包，已停止安装。"},
    {InstallFailure::SignatureMissing, 15, "the package's signature could not be fetched",
     "无法获取安装包的签名，无法确认其来源，已停止安装。"},
    {InstallFailure::SignatureMalformed, 15, "the package's signature cannot be read",
     "安装包的签名无法识别，已停止安装。"},
    {InstallFailure::SignatureInvalid, 15,
     "the package's signature does not verify: it was altered",
     "安装包签名校验失败（文件可能被篡改），已删除，未安装任何内容。"},
    {InstallFailure::SignatureOtherVersion, 15,
     "the package's signature is for another version than this installer delivers",
     "安装包签名属于其他版本（可能是旧版本的安装包），已删除，未安装任何内容。"},
    {InstallFailure::TimedOut, 16,
     "the installation did not finish within --timeout; what was downloaded is kept for the "
     "next run",
     "安装超时，已下载的部分将在下次安装时继续。"},
    {InstallFailure::ForeignFile, 17,
     "another user's file or folder (or a link) stands where the installation works, so "
     "nothing was installed",
     "安装位置中有其他用户的文件或文件夹（或链接），为安全起见已停止安装，请选择其他位置。"},
    {InstallFailure::SecureConnectionFailed, 18,
     "no secure (TLS) connection to the package server could be made: its certificate was "
     "refused or the server does not speak TLS",
     "无法与下载服务器建立安全连接（证书无法验证或服务器不支持 "
     "HTTPS），请检查网络或代理设置后重试。"},
};

struct InstallOutcome {
    InstallFailure failure = InstallFailure::None;
    long httpStatus = 0;  // PackageUnavailable: the status that was answered
    std::string detail;   // for diagnostics: an entry name, a library message
    bool ok() const { return failure == InstallFailure::None; }
};

// How a failure reads to a person: one English line for the unattended mode
// and the log, and the text of the window's failure page.  An HTTP status is
// named where it matters.
std::string failureReason(const InstallOutcome& outcome);
std::string failurePageText(const InstallOutcome& outcome);
// The exit status an outcome ends an unattended run with.
int exitStatusOf(InstallFailure failure);

// What a failed file operation on the archive or the product folder means
// for the run.
InstallFailure failureOfIo(platform::IoError error);

}  // namespace install
