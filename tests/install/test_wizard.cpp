// The wizard's steps: the page, banner and buttons of each step, every
// transition of the three buttons, the licence choice, the folder check and
// the pre-flight refusal, cancel and close while copying.
#include "install_test_support.h"

#include "install/wizard.h"

using namespace pj::install;
using namespace pj::install::testing;
using Step = WizardLogic::Step;
using Action = WizardLogic::Action;

namespace {

FolderCheck acceptAbsolute(std::string_view s) {
    if (!s.empty() && s.front() == '/')
        return {true, {}};
    return {false, "使用非法路径，正常路径如：/opt/"};
}

WizardLogic makeWizard(WizardLogic::Preflight preflight = {}) {
    return WizardLogic("/opt/" + std::string(kProductTitle), std::move(preflight), acceptAbsolute);
}

WizardLogic::PageValues folderPage(std::string text) {
    WizardLogic::PageValues v;
    v.folderText = std::move(text);
    return v;
}

WizardLogic::PageValues shortcutPage(std::string name, bool desktop) {
    WizardLogic::PageValues v;
    v.shortcutName = std::move(name);
    v.desktop = desktop;
    return v;
}

} // namespace

TEST(Wizard, startsOnWelcomeWithoutBackOrBanner) {
    WizardLogic w = makeWizard();
    const auto v = w.view();
    EXPECT_EQ(v.step, Step::Welcome);
    EXPECT_FALSE(v.banner);
    EXPECT_FALSE(v.backVisible);
    EXPECT_TRUE(v.nextVisible);
    EXPECT_TRUE(v.nextEnabled);
    EXPECT_EQ(v.nextText, "继续  >>");
    EXPECT_EQ(w.shortcutName(), "Vantor");
    EXPECT_EQ(w.installPath(), "/opt/Vantor软件");
    EXPECT_TRUE(w.licenceAccepted());
}

TEST(Wizard, forwardToCopyingWithTheButtonsOfEachStep) {
    WizardLogic w = makeWizard();
    EXPECT_EQ(w.next().action, Action::ShowStep);
    EXPECT_EQ(w.step(), Step::Licence);
    EXPECT_TRUE(w.view().banner);
    EXPECT_TRUE(w.view().backVisible);
    EXPECT_EQ(w.next().action, Action::ShowStep);
    EXPECT_EQ(w.step(), Step::Folder);
    EXPECT_EQ(w.view().nextText, "继续  >>");
    EXPECT_EQ(w.next(folderPage("/srv/x")).action, Action::ShowStep);
    EXPECT_EQ(w.step(), Step::Shortcut);
    EXPECT_EQ(w.view().nextText, "安装");
    EXPECT_EQ(w.installPath(), "/srv/x");
    EXPECT_EQ(w.next(shortcutPage("Mine", false)).action, Action::StartInstall);
    EXPECT_EQ(w.step(), Step::Copying);
    const auto v = w.view();
    EXPECT_FALSE(v.backVisible);
    EXPECT_FALSE(v.nextVisible);
    EXPECT_EQ(w.shortcutName(), "Mine");
    EXPECT_FALSE(w.desktopShortcut());
    const InstallOptions o = w.installOptions();
    EXPECT_EQ(utf8FromPath(o.folder), "/srv/x");
    EXPECT_EQ(o.shortcutName, "Mine");
    EXPECT_FALSE(o.desktopShortcut);
    EXPECT_EQ(w.next().action, Action::None); // nothing but the worker ends copying
    EXPECT_EQ(w.back().action, Action::None);
}

TEST(Wizard, declinedLicenceDisablesNextAndIsRememberedAcrossVisits) {
    WizardLogic w = makeWizard();
    w.next();
    w.chooseLicence(false);
    EXPECT_FALSE(w.view().nextEnabled);
    EXPECT_EQ(w.next().action, Action::None);
    EXPECT_EQ(w.step(), Step::Licence);
    w.back();
    EXPECT_EQ(w.step(), Step::Welcome);
    EXPECT_TRUE(w.view().nextEnabled); // welcome's Next works again
    EXPECT_FALSE(w.view().backVisible);
    EXPECT_FALSE(w.view().banner);
    w.next();
    EXPECT_FALSE(w.licenceAccepted()); // still declined on return
    EXPECT_FALSE(w.view().nextEnabled);
    w.chooseLicence(true);
    EXPECT_TRUE(w.view().nextEnabled);
}

TEST(Wizard, refusedFolderShowsTheNoticeAndStays) {
    WizardLogic w = makeWizard();
    w.next();
    w.next();
    const auto o = w.next(folderPage("relative"));
    EXPECT_EQ(o.action, Action::Notice);
    EXPECT_EQ(o.notice, "使用非法路径，正常路径如：/opt/");
    EXPECT_EQ(w.step(), Step::Folder);
    EXPECT_EQ(w.installPath(), "relative"); // the page shows it again
    EXPECT_EQ(w.view().nextText, "继续  >>");
}

TEST(Wizard, backFromShortcutPageRenamesNextAndDropsTypedValues) {
    WizardLogic w = makeWizard();
    w.next();
    w.next();
    w.next(folderPage("/srv/a"));
    EXPECT_EQ(w.back().action, Action::ShowStep); // "Mine" typed and abandoned
    EXPECT_EQ(w.step(), Step::Folder);
    EXPECT_EQ(w.view().nextText, "继续");
    EXPECT_EQ(w.shortcutName(), "Vantor");
    w.back();
    EXPECT_EQ(w.step(), Step::Licence);
    w.back();
    EXPECT_EQ(w.step(), Step::Welcome);
    EXPECT_EQ(w.view().nextText, "继续"); // only Next on the folder page sets it again
}

TEST(Wizard, cancelAsksBeforeCopyingAndCancelsDuringIt) {
    WizardLogic w = makeWizard();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(w.cancel().action, Action::AskExit);
        w.next(folderPage("/srv/b"));
    }
    EXPECT_EQ(w.step(), Step::Shortcut);
    EXPECT_EQ(w.cancel().action, Action::AskExit);
    EXPECT_EQ(w.closeRequested().action, Action::Close); // the window's close does not ask
    w.next(shortcutPage("Vantor", true));
    EXPECT_FALSE(w.cancelRequested());
    EXPECT_EQ(w.cancel().action, Action::RequestCancel);
    EXPECT_TRUE(w.cancelRequested());
    EXPECT_EQ(w.closeRequested().action, Action::RequestCancel); // closing is a cancel too
    InstallOutcome cancelled;
    cancelled.status = InstallOutcome::Status::Cancelled;
    EXPECT_EQ(w.installEnded(cancelled).action, Action::Close);
    EXPECT_EQ(w.step(), Step::Finished);
    EXPECT_EQ(w.cancel().action, Action::Close);
}

TEST(Wizard, failedInstallShowsItsReasonThenFinishes) {
    WizardLogic w = makeWizard();
    w.next();
    w.next();
    w.next(folderPage("/srv/c"));
    w.next(shortcutPage("Vantor", true));
    InstallOutcome failed;
    failed.status = InstallOutcome::Status::Failed;
    failed.message = "无法写入文件：/srv/c/PROJECTOR";
    const auto o = w.installEnded(failed);
    EXPECT_EQ(o.action, Action::Notice);
    EXPECT_EQ(o.notice, failed.message);
    EXPECT_EQ(w.step(), Step::Finished);
}

TEST(Wizard, preflightRefusalStaysOnTheShortcutPage) {
    WizardLogic w = makeWizard([](const InstallOptions& o) -> std::optional<std::string> {
        if (o.shortcutName.empty())
            return std::string("快捷方式名称无效");
        return std::nullopt;
    });
    w.next();
    w.next();
    w.next(folderPage("/srv/d"));
    const auto o = w.next(shortcutPage("", true));
    EXPECT_EQ(o.action, Action::Notice);
    EXPECT_EQ(o.notice, "快捷方式名称无效");
    EXPECT_EQ(w.step(), Step::Shortcut);
    EXPECT_EQ(w.next(shortcutPage("ok", true)).action, Action::StartInstall);
}
