#include "Forms.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>

namespace {
const wchar_t kApplicationClass[] = L"TApplication";
const int kFirstControlId = 100;  // clear of IDOK and IDCANCEL

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

HICON MainIcon(int size) {
    return static_cast<HICON>(::LoadImageW(Instance(), L"MAINICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

int LogicalDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// Runs a window's own handling; anything raised there is shown and stops at
// this frame, since it must never unwind into the system's frames.
template <typename F>
LRESULT Guarded(F&& body, LRESULT onError) {
    try {
        return body();
    } catch (const Exception& e) {
        Application->ShowException(e);
    } catch (...) {
        Application->ShowException(Exception(UnicodeString()));
    }
    return onError;
}

LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        // Closing from the taskbar button closes the main form.
        if (Application->MainForm()) {
            return Guarded(
                [] {
                    Application->MainForm()->Close();
                    return LRESULT(0);
                },
                0);
        }
        return 0;
    case WM_ACTIVATE:
        // The taskbar button activates this window; hand it to the form.
        if (LOWORD(wParam) != WA_INACTIVE && Application->MainForm() &&
            ::IsWindowVisible(Application->MainForm()->Handle()))
            ::SetActiveWindow(Application->MainForm()->Handle());
        return 0;
    default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}
}  // namespace

// ---------------------------------------------------------------- TComponent

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    while (!components_.empty()) delete components_.back();  // each removes itself
    if (owner_) {
        auto& siblings = owner_->components_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

TComponent* TComponent::FindComponent(const UnicodeString& name) const {
    for (TComponent* c : components_)
        if (c->Name == name) return c;
    return nullptr;
}

// ------------------------------------------------------------------- Buttons

void TButton::Command(WORD code) {
    if (code == BN_CLICKED) Raise(OnClick);
}

void TCheckBox::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    Raise(OnClick);
}

void TCheckBox::Command(WORD code) {
    // The box toggles itself, so a click and a change from code raise the
    // same single event, after the state has changed.
    if (code == BN_CLICKED) SetChecked(!checked_);
}

// ----------------------------------------------------------------- List view

void TListView::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw Exception(L"List index out of bounds (" + std::to_wstring(index) + L")");
}

TListItem TListView::Item(int index) {
    CheckIndex(index);
    return TListItem(*this, index);
}

TListItem TListView::Add() {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = Count();
    item.pszText = const_cast<wchar_t*>(L"");
    const int index = static_cast<int>(::SendMessageW(Handle(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index != Count()) {
        if (index >= 0) ::SendMessageW(Handle(), LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
        throw Exception(L"Failed to add a list row");
    }
    subItems_.emplace_back();
    return TListItem(*this, index);
}

void TListView::Clear() {
    ::SendMessageW(Handle(), LVM_DELETEALLITEMS, 0, 0);
    subItems_.clear();
}

void TListView::BeginUpdate() {
    if (updateCount_++ == 0) ::SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) {
        ::SendMessageW(Handle(), WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(Handle(), nullptr, TRUE);
    }
}

void TListView::Notify(const NMHDR& header) {
    // Clicks are reported before the control has finished with them (a
    // click on a check box toggles it only afterwards), so the handler runs
    // from a message posted behind the click.
    if (header.code == NM_CLICK || header.code == NM_DBLCLK) {
        const WPARAM which = header.code == NM_DBLCLK ? 1 : 0;
        ::PostMessageW(::GetParent(Handle()), TForm::WM_LISTCLICK, which, reinterpret_cast<LPARAM>(Handle()));
    }
}

UnicodeString TListItem::Caption() const {
    owner_->CheckIndex(index_);
    std::vector<wchar_t> buffer(256);
    for (;;) {
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        const int len = static_cast<int>(::SendMessageW(owner_->Handle(), LVM_GETITEMTEXTW,
                                                        static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item)));
        if (len < static_cast<int>(buffer.size()) - 1) return UnicodeString(buffer.data(), static_cast<size_t>(len));
        buffer.resize(buffer.size() * 2);
    }
}

void TListItem::SetCaption(const UnicodeString& caption) {
    owner_->CheckIndex(index_);
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(caption.c_str());
    ::SendMessageW(owner_->Handle(), LVM_SETITEMTEXTW, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

bool TListItem::Checked() const {
    owner_->CheckIndex(index_);
    const auto state = static_cast<UINT>(
        ::SendMessageW(owner_->Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(index_), LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

void TListItem::SetChecked(bool checked) {
    owner_->CheckIndex(index_);
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    ::SendMessageW(owner_->Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

TStrings& TListItem::SubItems() {
    owner_->CheckIndex(index_);
    return owner_->subItems_[static_cast<size_t>(index_)];
}

void TListItem::Delete() {
    owner_->CheckIndex(index_);
    ::SendMessageW(owner_->Handle(), LVM_DELETEITEM, static_cast<WPARAM>(index_), 0);
    owner_->subItems_.erase(owner_->subItems_.begin() + index_);
}

// ---------------------------------------------------------------------- Form

TForm::TForm(TComponent* owner, const TFormLayout& layout, const std::vector<THandlerBinding>& handlers)
    : TWinControl(owner) {
    const int dpi = LogicalDpi();
    auto scale = [dpi](int v) { return ::MulDiv(v, dpi, 96); };

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!::GetClassInfoExW(Instance(), layout.className, &wc)) {
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = Instance();
        wc.hIcon = MainIcon(32);
        wc.hIconSm = MainIcon(16);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = layout.className;
        if (!::RegisterClassExW(&wc)) throw Exception(L"Failed to register the window class");
    }

    // A dialog frame: fixed size, system menu and close button only.
    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, scale(layout.clientWidth), scale(layout.clientHeight)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    // Owned by the application's window, so the form has no taskbar button.
    HWND hwnd = ::CreateWindowExW(exStyle, layout.className, layout.caption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, Application->Handle(), nullptr,
                                  Instance(), this);
    if (!hwnd) throw Exception(L"Failed to create the window");
    handle_.reset(hwnd);

    if (HMENU menu = ::GetSystemMenu(hwnd, FALSE)) {
        for (UINT cmd : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) ::DeleteMenu(menu, cmd, MF_BYCOMMAND);
    }

    font_.reset(::CreateFontW(scale(layout.fontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              layout.fontName));
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

    auto bind = [&handlers](const wchar_t* name) -> TNotifyEvent {
        if (!name) return nullptr;
        for (const auto& b : handlers)
            if (UnicodeString(b.name) == name) return b.handler;
        throw Exception(UnicodeString(L"No handler named ") + name);
    };

    // Created in tab order, which is also the order Tab moves the focus in.
    std::vector<const TControlLayout*> order;
    for (const auto& c : layout.controls) order.push_back(&c);
    std::stable_sort(order.begin(), order.end(),
                     [](const TControlLayout* a, const TControlLayout* b) { return a->tabOrder < b->tabOrder; });

    int id = kFirstControlId;
    for (const TControlLayout* c : order) {
        TWinControl* control = nullptr;
        const wchar_t* cls = L"BUTTON";
        DWORD cstyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
        DWORD cexStyle = 0;
        switch (c->kind) {
        case TControlKind::ListView:
            control = new TListView(this);
            cls = WC_LISTVIEWW;
            cstyle |= LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL;
            cexStyle = WS_EX_CLIENTEDGE;
            break;
        case TControlKind::Button:
            control = new TButton(this);
            cstyle |= BS_PUSHBUTTON;
            break;
        case TControlKind::CheckBox:
            control = new TCheckBox(this);
            cstyle |= BS_CHECKBOX;
            break;
        }
        control->Name = c->name;
        HWND child = ::CreateWindowExW(cexStyle, cls, c->caption ? c->caption : L"", cstyle, scale(c->left),
                                       scale(c->top), scale(c->width), scale(c->height), hwnd,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), Instance(), nullptr);
        if (!child) throw Exception(L"Failed to create the control " + control->Name);
        control->handle_.reset(child);
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        if (c->kind == TControlKind::ListView) {
            const DWORD ex = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
            ::SendMessageW(child, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
            LVCOLUMNW column{};
            column.mask = LVCF_WIDTH;
            column.cx = scale(c->columnWidth);
            ::SendMessageW(child, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        }
        control->OnClick = bind(c->onClick);
        control->OnDblClick = bind(c->onDblClick);
        controls_.push_back(control);
    }
}

TForm::~TForm() {
    // Controls go before the form's window and font.
    for (TWinControl* c : controls_) delete c;
    controls_.clear();
    if (handle_) ::SetWindowLongPtrW(handle_.get(), GWLP_USERDATA, 0);
}

void TForm::Close() {
    if (Application->MainForm() == this)
        Application->Terminate();
    else
        ::ShowWindow(Handle(), SW_HIDE);
}

void TForm::Show() {
    if (!shown_) {
        shown_ = true;
        RECT rc;
        ::GetWindowRect(Handle(), &rc);
        const int w = rc.right - rc.left, h = rc.bottom - rc.top;
        ::SetWindowPos(Handle(), nullptr, (::GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                       (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::ShowWindow(Handle(), SW_SHOWNORMAL);
    ::SetForegroundWindow(Handle());
}

TWinControl* TForm::ControlById(int id) const {
    const int index = id - kFirstControlId;
    return index >= 0 && index < static_cast<int>(controls_.size()) ? controls_[static_cast<size_t>(index)] : nullptr;
}

TWinControl* TForm::ControlByHandle(HWND hwnd) const {
    for (TWinControl* c : controls_)
        if (c->Handle() == hwnd) return c;
    return nullptr;
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* form = reinterpret_cast<TForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return Guarded([&] { return form->HandleMessage(hwnd, msg, wParam, lParam); }, 0);
}

LRESULT TForm::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        // Enter and Escape arrive as IDOK and IDCANCEL with no control:
        // the form has neither a default nor a cancel button.
        if (lParam) {
            if (TWinControl* c = ControlByHandle(reinterpret_cast<HWND>(lParam))) c->Command(HIWORD(wParam));
        }
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (TWinControl* c = ControlById(static_cast<int>(header->idFrom))) c->Notify(*header);
        return 0;
    }
    case WM_LISTCLICK:
        if (TWinControl* c = ControlByHandle(reinterpret_cast<HWND>(lParam))) {
            if (wParam && c->OnDblClick)
                c->OnDblClick(c);
            else if (!wParam && c->OnClick)
                c->OnClick(c);
        }
        return 0;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus && ::IsChild(hwnd, focus)) lastFocus_ = focus;
        }
        // On activation the default handling gives the form the focus, which
        // WM_SETFOCUS below hands on to a control.
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_SETFOCUS: {
        HWND target = lastFocus_ && ::IsWindowEnabled(lastFocus_) ? lastFocus_ : nullptr;
        if (!target) target = ::GetNextDlgTabItem(hwnd, nullptr, FALSE);
        if (target) ::SetFocus(target);
        return 0;
    }
    default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// --------------------------------------------------------------- Application

static TApplication theApplication;
TApplication* Application = &theApplication;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
    mainForm_ = nullptr;
    if (comInitialized_) ::CoUninitialize();
}

void TApplication::Initialize() {
    comInitialized_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ApplicationWindowProc;
    wc.hInstance = Instance();
    wc.hIcon = MainIcon(32);
    wc.hIconSm = MainIcon(16);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kApplicationClass;
    ::RegisterClassExW(&wc);
    // A zero-size window that is shown only for its taskbar button.
    handle_.reset(::CreateWindowExW(0, kApplicationClass, title_.c_str(),
                                    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                                    ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                                    nullptr, nullptr, Instance(), nullptr));
}

void TApplication::SetTitle(const UnicodeString& title) {
    title_ = title;
    if (handle_) ::SetWindowTextW(handle_.get(), title_.c_str());
}

void TApplication::Run() {
    if (!mainForm_) return;
    if (handle_) ::ShowWindow(handle_.get(), SW_SHOWNOACTIVATE);
    mainForm_->Show();
    MSG msg;
    while (!terminated_ && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(mainForm_->Handle(), &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void TApplication::Terminate() {
    if (terminated_) return;
    terminated_ = true;
    ::PostQuitMessage(0);
}

void TApplication::ShowException(const Exception& e) {
    // Task-modal: every window of this program waits until it is dismissed.
    ::MessageBoxW(nullptr, e.Message().c_str(), title_.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
