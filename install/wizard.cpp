#include "install/wizard.h"

#include "install/product.h"

namespace pj::install {

namespace {

constexpr std::string_view kNextFirst = "继续  >>";
constexpr std::string_view kNextAgain = "继续";
constexpr std::string_view kNextInstall = "安装";

bool endsWithSeparator(const std::string& s) {
    return !s.empty() &&
           (s.back() == '/' || s.back() == static_cast<char>(fs::path::preferred_separator));
}

} // namespace

std::string appendProductTitle(const std::string& chosen) {
    if (chosen.empty())
        return std::string(kProductTitle);
    std::string out = chosen;
    if (!endsWithSeparator(out))
        out.push_back(static_cast<char>(fs::path::preferred_separator));
    return out + std::string(kProductTitle);
}

WizardLogic::WizardLogic(std::string defaultFolder, Preflight preflight, FolderRule folderRule)
    : installPath_(std::move(defaultFolder))
    , shortcutName_(kProductShortTitle)
    , nextText_(kNextFirst)
    , preflight_(std::move(preflight))
    , folderRule_(std::move(folderRule)) {}

WizardLogic::View WizardLogic::view() const {
    View v;
    v.step = step_;
    v.banner = step_ != Step::Welcome;
    v.backVisible = step_ == Step::Licence || step_ == Step::Folder || step_ == Step::Shortcut;
    v.nextVisible = step_ != Step::Copying && step_ != Step::Finished;
    v.nextEnabled = step_ != Step::Licence || licenceAccepted_;
    v.nextText = nextText_;
    return v;
}

WizardLogic::Outcome WizardLogic::next(const PageValues& page) {
    switch (step_) {
    case Step::Welcome:
        step_ = Step::Licence;
        return {Action::ShowStep, {}};
    case Step::Licence:
        if (!licenceAccepted_)
            return {};
        step_ = Step::Folder;
        return {Action::ShowStep, {}};
    case Step::Folder: {
        installPath_ = page.folderText;
        const FolderCheck check = folderRule_(installPath_);
        if (!check.ok)
            return {Action::Notice, check.message};
        nextText_ = kNextInstall;
        step_ = Step::Shortcut;
        return {Action::ShowStep, {}};
    }
    case Step::Shortcut: {
        desktopShortcut_ = page.desktop;
        shortcutName_ = page.shortcutName;
        if (preflight_) {
            if (auto problem = preflight_(installOptions()))
                return {Action::Notice, *problem};
        }
        step_ = Step::Copying;
        cancelRequested_ = false;
        return {Action::StartInstall, {}};
    }
    case Step::Copying:
    case Step::Finished:
        break;
    }
    return {};
}

WizardLogic::Outcome WizardLogic::back() {
    switch (step_) {
    case Step::Licence:
        step_ = Step::Welcome;
        return {Action::ShowStep, {}};
    case Step::Folder:
        step_ = Step::Licence;
        return {Action::ShowStep, {}};
    case Step::Shortcut:
        nextText_ = kNextAgain;
        step_ = Step::Folder;
        return {Action::ShowStep, {}};
    default:
        return {};
    }
}

WizardLogic::Outcome WizardLogic::cancel() {
    switch (step_) {
    case Step::Copying:
        cancelRequested_ = true;
        return {Action::RequestCancel, {}};
    case Step::Finished:
        return {Action::Close, {}};
    default:
        return {Action::AskExit, {}};
    }
}

WizardLogic::Outcome WizardLogic::closeRequested() {
    if (step_ == Step::Copying) {
        cancelRequested_ = true;
        return {Action::RequestCancel, {}};
    }
    return {Action::Close, {}};
}

void WizardLogic::chooseLicence(bool accept) {
    licenceAccepted_ = accept;
}

WizardLogic::Outcome WizardLogic::installEnded(const InstallOutcome& outcome) {
    step_ = Step::Finished;
    if (outcome.status == InstallOutcome::Status::Failed)
        return {Action::Notice, outcome.message};
    return {Action::Close, {}};
}

void WizardLogic::browseFrom(const std::string& folderText) {
    installPath_ = folderText;
}

std::optional<std::string> WizardLogic::browserAccepted(const std::string& chosen) {
    const std::string path = appendProductTitle(chosen);
    if (path.size() > kMaxInstallPathBytes)
        return "安装目录太长（最多 " + std::to_string(kMaxInstallPathBytes) + " 字节）";
    installPath_ = path;
    return std::nullopt;
}

InstallOptions WizardLogic::installOptions() const {
    InstallOptions o;
    o.folder = pathFromUtf8(installPath_);
    o.shortcutName = shortcutName_;
    o.desktopShortcut = desktopShortcut_;
    return o;
}

} // namespace pj::install
