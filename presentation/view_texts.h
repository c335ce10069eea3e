#pragma once
// The fixed texts of the desktop client's windows: titles, labels, column
// headers and messages, kept in one place so that the windows and their tests
// use the same bytes.
#include <array>

namespace parvola::ui {

inline constexpr const char* kAppTitle = "parvolix 1.0";
inline constexpr const char* kAppName = "parvolix";
inline constexpr const char* kIdleText = "就绪";
inline constexpr std::array<const char*, 3> kKeyIndicators = {"大写", "数字", "滚动"};

// Menu bar.
inline constexpr const char* kMenuAccount = "账号(&A)";
inline constexpr const char* kMenuLogin = "登录";
inline constexpr const char* kMenuExit = "退出(&X)";
inline constexpr const char* kMenuEncryptStore = "加密存储(&E)...";
inline constexpr const char* kMenuChangePassphrase = "更改存储口令(&P)...";
inline constexpr const char* kMenuStore = "存储(&U)";
inline constexpr const char* kMenuUpload = "上传";
inline constexpr const char* kMenuRead = "读取(&D)";
inline constexpr const char* kMenuDownload = "下载";
inline constexpr const char* kMenuSettings = "设置(&D)";
inline constexpr const char* kMenuHelp = "帮助(&H)";
inline constexpr const char* kMenuAbout = "关于 parvolix(&A)...";
inline constexpr const char* kTrayExit = "退出";

// Toolbar buttons, left to right.
inline constexpr const char* kButtonStore = "存储";
inline constexpr const char* kButtonRead = "读取";
inline constexpr const char* kButtonDelete = "删除";
inline constexpr const char* kButtonRecover = "恢复";
inline constexpr const char* kButtonSettings = "设置";
inline constexpr const char* kButtonShare = "共享";
inline constexpr const char* kButtonLogin = "登录";
inline constexpr const char* kButtonPause = "暂停";
inline constexpr const char* kButtonResume = "继续";

// Tree.
inline constexpr const char* kRootBeforeLogin = "您还没有登录,请登录!";
inline constexpr const char* kRootAfterLogin = "帐号";
inline constexpr const char* kCreateFolder = "创建文件夹";
inline constexpr const char* kDeleteFolder = "删除文件夹";
inline constexpr const char* kRenameFolder = "文件夹重命名";
inline constexpr const char* kCustomFolderName = "自定义";

// File list.
inline constexpr std::array<const char*, 5> kFileListHeaders = {
    "      文件名", "   大小", "   类型", "  上传时间/删除时间", "   路径"};
inline constexpr std::array<int, 5> kFileListWidths = {170, 100, 100, 150, 150};
inline constexpr const char* kFileMenuDownload = "下载";
inline constexpr const char* kFileMenuOpen = "打开";
inline constexpr const char* kFileMenuDelete = "删除";

// Task list.
inline constexpr std::array<const char*, 8> kTaskListHeaders = {
    " 账号", " 动作", "  文件名", "  文件大小", "  保存位置", "    时间", "  进度", "    速度"};
inline constexpr std::array<int, 8> kTaskListWidths = {50, 50, 100, 100, 100, 100, 70, 100};
inline constexpr const char* kCancelTask = "取消任务";

// Messages.
inline constexpr const char* kSelectFileOrFolder = "请选择一个文件或文件夹";
inline constexpr const char* kSelectFile = "请选择一个文件";
inline constexpr const char* kConfirmPurge = "您确认删除,删除后无法恢复!";
inline constexpr const char* kConfirmCancelTask = "您是否确认取消任务!";
inline constexpr const char* kFolderExists = "文件夹已存在";
inline constexpr const char* kAlreadyLoggedIn = "用户已登录";
inline constexpr const char* kNoSpaceLeft = "用户空间余额不足!";
inline constexpr const char* kEnterFilePath = "请输入文件路径";
inline constexpr const char* kTransfersRunningQuestion = "有传输任务正在进行中，是否继续";
inline constexpr const char* kSocketStartFailed = "Windows 通信端口初始化失败。";
inline constexpr const char* kOpenFailedPrefix = "无法打开: ";
inline constexpr const char* kChooseSaveFolder = "请选择保存路径";
inline constexpr const char* kNoFileChosen = "请选择一个文件";

// Dialogs.
inline constexpr const char* kNoticeOk = "确    定";
inline constexpr const char* kNoticeCancel = "取    消";
inline constexpr const char* kNoticeDetails = "详细信息";
inline constexpr const char* kLoginTitle = "登录";
inline constexpr const char* kLoginMailbox = "邮箱:";
inline constexpr const char* kLoginPassword = "密码:";
inline constexpr const char* kRememberPassword = "记住密码";
inline constexpr const char* kRegister = "注册";
// The login dialog's choice of the user's own mailbox, without the web service.
inline constexpr const char* kOwnMailbox = "使用自己的邮箱";
inline constexpr const char* kReadServer = "收信服务器:";
inline constexpr const char* kSendServer = "发信服务器:";
inline constexpr const char* kStoreWith = "存储方式:";
inline constexpr const char* kStoreWithDefault = "默认(IMAP追加,POP3发信)";
inline constexpr const char* kStoreWithAppend = "追加到IMAP文件夹";
inline constexpr const char* kStoreWithSmtp = "通过SMTP发信";
inline constexpr const char* kMailFolder = "邮件文件夹:";
inline constexpr const char* kMailFolderHint =
    "INBOX(默认):用POP3收信的客户端也能看到所有存储的邮件;"
    "单独的文件夹使收件箱保持整洁,但POP3看不到它。";
inline constexpr const char* kAllowPlaintext = "允许不加密发送密码(仅限可信的服务器)";
inline constexpr const char* kServerUrlHint = "imaps://主机[:端口]";
// Finding the servers from the address alone, and secrets from a command.
inline constexpr const char* kFindServers = "查找服务器";
inline constexpr const char* kStopFinding = "停止查找";
inline constexpr const char* kPasswordCommand = "密码命令:";
inline constexpr const char* kTokenCommand = "OAuth 2 令牌命令:";
inline constexpr const char* kSecretCommandHint =
    "命令输出的第一行就是密码(或令牌),每次登录时运行;只记住命令,不保存其输出。";
inline constexpr const char* kOneSecretCommand = "密码命令和 OAuth 2 令牌命令只能填写一个。";
// Where the password of the user's own mailbox will be kept.
inline constexpr const char* kPasswordToKeyring = "密码将保存在桌面密钥环中。";
inline constexpr const char* kPasswordToConfig =
    "没有应答的桌面密钥环:密码将保存在 config.ini 中(仅您本人可读)。"
    "不勾选“记住密码”则每次登录时输入。";
// Shown after a login whose password the keyring, though it answered, did
// not take; the keyring's own words follow.
inline constexpr const char* kPasswordKeyringRefused =
    "桌面密钥环没有接受密码,密码已改存在 config.ini 中(仅您本人可读)。密钥环的回答: ";
inline constexpr const char* kPasswordTypedEachTime = "密码不保存,每次登录时输入。";
inline constexpr const char* kPasswordFromCommand = "密码由命令提供,每次登录时运行,不保存。";
// An encrypted store: the login's choice, its trade-off, the passphrase.
inline constexpr const char* kEncryptStore = "加密此存储";
inline constexpr const char* kEncryptTradeOff =
    "加密后,不了解此存储格式的客户端将无法再读取它;"
    "文件内容、文件名和目录对邮件服务商均不可读。";
inline constexpr const char* kPassphraseTitle = "存储口令";
inline constexpr const char* kPassphraseLabel = "口令:";
inline constexpr const char* kPassphraseAgainLabel = "再次输入:";
inline constexpr const char* kRememberPassphrase = "记住口令";
inline constexpr const char* kPassphraseOpensPrefix = "请输入加密存储的口令: ";
inline constexpr const char* kPassphraseNewPrefix = "请为加密存储设置口令(输入两次): ";
inline constexpr const char* kPassphraseChangePrefix = "请为加密存储设置新口令(输入两次): ";
inline constexpr const char* kPassphraseEmpty = "请输入口令。";
inline constexpr const char* kPassphrasesDiffer = "两次输入的口令不一致,请重新输入。";
inline constexpr const char* kWrongPassphrase =
    "口令错误,无法打开此存储的密钥;未写入任何内容。请重新输入,或取消登录。";
inline constexpr const char* kKeyMailDamaged = "此存储的密钥邮件已损坏,无法打开;未写入任何内容。";
inline constexpr const char* kKeyMailUnreadable =
    "网络问题,无法读取此存储的密钥邮件,请稍后再试;未写入任何内容。";
inline constexpr const char* kEncryptionDone =
    "此存储已加密:今后存储的文件、文件名和目录都将加密;"
    "之前存储的文件保持原样,没有重新存储。";
inline constexpr const char* kEncryptionKeyMailFailed = "未能保存密钥邮件,此存储保持未加密。";
inline constexpr const char* kEncryptionCatalogLater =
    "此存储已加密,但目录暂未能寄出;下次更改目录时将加密寄出。";
inline constexpr const char* kEncryptionCancelled = "未设置口令,此存储保持未加密。";
inline constexpr const char* kAlreadyEncrypted = "此存储已经加密。";
inline constexpr const char* kNotEncryptedYet = "此存储尚未加密。";
inline constexpr const char* kEncryptLaterQuestion =
    "加密后,不了解此存储格式的客户端将无法再读取它;"
    "今后存储的文件内容、文件名和目录对邮件服务商均不可读。"
    "之前存储的文件不会重新存储,保持原样。是否加密此存储?";
inline constexpr const char* kEncryptWaitForTransfers = "请等传输任务完成后再更改此存储的加密。";
inline constexpr const char* kSelectAccountFirst = "请先在左侧选择一个账号";
inline constexpr const char* kPassphraseChanged =
    "口令已更改:存储的密钥已用新口令重新封装,没有重新存储任何文件。";
inline constexpr const char* kPassphraseNotKept = "口令未能保存到桌面密钥环(口令从不写入文件)。";
inline constexpr const char* kPassphraseNotChanged = "未能更改口令,原口令仍然有效。";
inline constexpr const char* kDownloadTitle = "下载";
inline constexpr const char* kSavePath = "保存路径:";
inline constexpr const char* kHiddenFileName = "文  件 名:";
inline constexpr const char* kBrowse = "浏览";
inline constexpr const char* kOkWide = "确  定";
inline constexpr const char* kCancelWide = "取  消";
inline constexpr const char* kRenameTitle = "重命名";
inline constexpr const char* kFolderNameLabel = "文件夹名:";
inline constexpr const char* kOk = "确定";
inline constexpr const char* kCancel = "取消";
inline constexpr const char* kAboutVersion = "parvolix 1.0 版";
inline constexpr const char* kAboutOwnership = "版权所有 (C) parvolix 开发组";
inline constexpr const char* kSettingsTitle = "系统设置";
inline constexpr const char* kGeneralSettings = "常规设置";
inline constexpr const char* kAutoStart = "开机启动";
inline constexpr const char* kShutdownWhenDone = "任务完成后关机";
inline constexpr const char* kContinueTasks = "启动后继续未完成任务";
inline constexpr const char* kDefaultDownloadPath = "默认下载路径";
inline constexpr const char* kStoreTitle = "上传";
inline constexpr const char* kStoreFilter = "All Files(*.*)";

}  // namespace parvola::ui
