// The folder browser (dialog 131, "选择目录"): the tree "我的电脑" with the
// machine's drives, folders listed on demand (a folder shows an expander
// when it has sub-folders and is listed when first expanded or selected),
// the path of the selection in edit 1022, "确定" and "取消". Hidden and
// system folders are not listed; their paths can be typed.
#include "install/folders.h"
#include "setup/win32/ids.h"
#include "setup/win32/look.h"
#include "setup/win32/wizard.h"

#include <commctrl.h>

#include <optional>

namespace pj::winsetup {

namespace {

constexpr wchar_t kRootText[] = L"我的电脑";

struct Browser {
    HINSTANCE instance;
    std::wstring start;
    std::wstring chosen;
    HWND tree = nullptr;
    HTREEITEM root = nullptr;
    HIMAGELIST images = nullptr;
};

bool listable(const WIN32_FIND_DATAW& f) {
    if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (f.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return false;
    const std::wstring name = f.cFileName;
    return name != L"." && name != L"..";
}

template <typename F> void forEachFolder(const std::wstring& folder, F f) {
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = folder + L"\\*";
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                FindExSearchLimitToDirectories, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        if (listable(data) && !f(std::wstring(data.cFileName)))
            break;
    } while (FindNextFileW(h, &data));
    FindClose(h);
}

bool hasSubFolder(const std::wstring& folder) {
    bool found = false;
    forEachFolder(folder, [&](const std::wstring&) {
        found = true;
        return false;
    });
    return found;
}

std::wstring itemText(HWND tree, HTREEITEM item) {
    wchar_t buf[MAX_PATH] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buf;
    tv.cchTextMax = MAX_PATH;
    TreeView_GetItem(tree, &tv);
    return buf;
}

// The full path of an item: its text below each parent's, up to the root.
std::wstring itemPath(const Browser& b, HTREEITEM item) {
    std::wstring path = itemText(b.tree, item);
    for (HTREEITEM p = TreeView_GetParent(b.tree, item); p && p != b.root;
         p = TreeView_GetParent(b.tree, p))
        path = itemText(b.tree, p) + L"\\" + path;
    return path;
}

HTREEITEM insert(HWND tree, HTREEITEM parent, const std::wstring& text, int image, int selected,
                 bool expandable) {
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_PARAM;
    ins.item.pszText = const_cast<wchar_t*>(text.c_str());
    ins.item.iImage = image;
    ins.item.iSelectedImage = selected;
    ins.item.cChildren = expandable ? 1 : 0;
    ins.item.lParam = 0; // 1 once listed
    return TreeView_InsertItem(tree, &ins);
}

void list(Browser& b, HTREEITEM item) {
    TVITEMW tv{};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    TreeView_GetItem(b.tree, &tv);
    if (tv.lParam == 1 || item == b.root)
        return;
    tv.lParam = 1;
    TreeView_SetItem(b.tree, &tv);
    const std::wstring path = itemPath(b, item);
    bool any = false;
    forEachFolder(path, [&](const std::wstring& name) {
        insert(b.tree, item, name, 0, 3, hasSubFolder(path + L"\\" + name));
        any = true;
        return true;
    });
    if (!any) {
        TVITEMW none{};
        none.mask = TVIF_CHILDREN;
        none.hItem = item;
        none.cChildren = 0;
        TreeView_SetItem(b.tree, &none);
    }
}

void fill(Browser& b) {
    b.images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 10);
    for (int id : {IDI_TREE_FOLDER, IDI_TREE_DRIVE, IDI_TREE_ROOT, IDI_TREE_FOLDER_OPEN}) {
        HICON icon =
            static_cast<HICON>(LoadImageW(b.instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
        ImageList_AddIcon(b.images, icon);
        DestroyIcon(icon);
    }
    TreeView_SetImageList(b.tree, b.images, TVSIL_NORMAL);
    b.root = insert(b.tree, TVI_ROOT, kRootText, 2, 2, true);
    for (const std::string& root : install::driveRoots()) {
        std::wstring text = wide(root);
        const std::wstring folder = text.substr(0, text.size() - 1); // "C:"
        insert(b.tree, b.root, folder, 1, 1, hasSubFolder(folder));
    }
    TreeView_Expand(b.tree, b.root, TVE_EXPAND);
}

INT_PTR CALLBACK browserProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    auto* b = reinterpret_cast<Browser*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (INT_PTR r = 0; skinnedDialogMessage(dlg, msg, wp, r))
        return r;
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        b = reinterpret_cast<Browser*>(lp);
        initDialog(dlg, L"选择目录", Program::Setup);
        b->tree = GetDlgItem(dlg, IDC_BROWSER_TREE);
        fill(*b);
        SetDlgItemTextW(dlg, IDC_BROWSER_EDIT, b->start.c_str());
        return TRUE;
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
        if (hdr->idFrom != IDC_BROWSER_TREE)
            return FALSE;
        const auto* tv = reinterpret_cast<const NMTREEVIEWW*>(lp);
        if (hdr->code == TVN_ITEMEXPANDINGW) {
            list(*b, tv->itemNew.hItem);
        } else if (hdr->code == TVN_SELCHANGEDW && tv->itemNew.hItem != b->root) {
            SetDlgItemTextW(dlg, IDC_BROWSER_EDIT, itemPath(*b, tv->itemNew.hItem).c_str());
            list(*b, tv->itemNew.hItem);
        }
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_BROWSER_OK || LOWORD(wp) == IDOK) {
            HWND edit = GetDlgItem(dlg, IDC_BROWSER_EDIT);
            b->chosen = windowText(edit);
            EndDialog(dlg, 1);
        } else if (LOWORD(wp) == IDC_BROWSER_CANCEL || LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, 0);
        }
        return TRUE;
    case WM_DESTROY:
        if (b && b->images)
            ImageList_Destroy(b->images);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

std::optional<std::wstring> browseForFolder(HINSTANCE instance, HWND owner,
                                            const std::wstring& start) {
    Browser b{instance, start, {}};
    const INT_PTR r = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_BROWSER), owner, browserProc,
                                      reinterpret_cast<LPARAM>(&b));
    if (r != 1)
        return std::nullopt;
    return b.chosen;
}

} // namespace pj::winsetup
