// The small window framework the program is built on: an application object
// that owns the message loop, forms built from a stored layout description,
// and one class per control kind the program uses.
#pragma once

#include <windows.h>

#include <vector>

#include "Classes.h"
#include "Handle.h"
#include "System.h"

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    UnicodeString Name;
    TComponent* FindComponent(const UnicodeString& name) const;

private:
    TComponent* owner_;
    std::vector<TComponent*> components_;  // owned, destroyed with this one
};

// A control with a window of its own, placed on a form.
class TWinControl : public TComponent {
public:
    using TComponent::TComponent;
    HWND Handle() const { return handle_.get(); }
    bool Enabled() const { return ::IsWindowEnabled(Handle()) != FALSE; }
    void SetEnabled(bool enabled) { ::EnableWindow(Handle(), enabled ? TRUE : FALSE); }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

    // Notifications the parent form routes to the control.
    virtual void Command(WORD /*code*/) {}
    virtual void Notify(const NMHDR& /*header*/) {}

protected:
    friend class TForm;  // creates the window of each control it places
    void Raise(const TNotifyEvent& event) {
        if (event) event(this);
    }
    UniqueWindow handle_;
};

class TButton : public TWinControl {
public:
    using TWinControl::TWinControl;
    void Command(WORD code) override;
};

// Raises OnClick whenever its state changes, from a user's click or from
// code, and never when it is set to the state it already has.
class TCheckBox : public TWinControl {
public:
    using TWinControl::TWinControl;
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    void Command(WORD code) override;

private:
    bool checked_ = false;
};

class TListView;

// A row of a list view, addressed by its index. A handle for one task:
// deleting rows before it moves its row.
class TListItem {
public:
    TListItem(TListView& owner, int index) : owner_(&owner), index_(index) {}
    int Index() const { return index_; }
    UnicodeString Caption() const;
    void SetCaption(const UnicodeString& caption);
    bool Checked() const;
    // Raises no click event of the list.
    void SetChecked(bool checked);
    TStrings& SubItems();
    // Takes the row out at once: every later row moves up by one.
    void Delete();

private:
    TListView* owner_;
    int index_;
};

// Report view with a check box on every row. Sub-items are kept beside the
// control, which only shows the caption column.
class TListView : public TWinControl {
public:
    using TWinControl::TWinControl;
    int Count() const { return static_cast<int>(subItems_.size()); }
    TListItem Item(int index);
    TListItem Add();
    void Clear();
    // Suspends painting while many rows are added.
    void BeginUpdate();
    void EndUpdate();
    void Notify(const NMHDR& header) override;

private:
    friend class TListItem;
    void CheckIndex(int index) const;
    std::vector<TStringList> subItems_;
    int updateCount_ = 0;
};

// Suspends a list's painting for as long as it lives, also when left by an
// error.
class TListUpdate {
public:
    explicit TListUpdate(TListView& list) : list_(list) { list_.BeginUpdate(); }
    ~TListUpdate() { list_.EndUpdate(); }
    TListUpdate(const TListUpdate&) = delete;
    TListUpdate& operator=(const TListUpdate&) = delete;

private:
    TListView& list_;
};

enum class TControlKind { ListView, Button, CheckBox };

// One control of a stored form layout. Positions are pixels at 96 DPI; the
// handler entries name the form's handlers, bound when the form is built.
struct TControlLayout {
    TControlKind kind;
    const wchar_t* name;
    int left, top, width, height;
    const wchar_t* caption;
    int tabOrder;
    const wchar_t* onClick;
    const wchar_t* onDblClick;
    int columnWidth;  // list views: width of the one caption column
};

struct TFormLayout {
    const wchar_t* className;
    const wchar_t* caption;
    int clientWidth, clientHeight;
    const wchar_t* fontName;
    int fontHeight;
    std::vector<TControlLayout> controls;
};

struct THandlerBinding {
    const wchar_t* name;
    TNotifyEvent handler;
};

// A fixed-size dialog-frame window built from a layout description and
// centred on the screen when first shown.
class TForm : public TWinControl {
public:
    TForm(TComponent* owner, const TFormLayout& layout, const std::vector<THandlerBinding>& handlers);
    ~TForm() override;

    // The main form tells the application to terminate; the window stays,
    // neither hidden nor destroyed, until the application ends.
    void Close();
    void Show();

    template <typename T>
    T* Control(const UnicodeString& name) const {
        return dynamic_cast<T*>(FindComponent(name));
    }

    // Posted by the form to itself when a list reports a click, so that the
    // list has finished handling the click (and toggled any check mark) by
    // the time the handler runs.
    static constexpr UINT WM_LISTCLICK = WM_APP + 1;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    TWinControl* ControlById(int id) const;
    TWinControl* ControlByHandle(HWND hwnd) const;

    UniqueFont font_;
    std::vector<TWinControl*> controls_;  // in tab order, owned as components
    HWND lastFocus_ = nullptr;
    bool shown_ = false;
};

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // Initialises COM (apartment-threaded) and the common controls, and
    // creates the application's own window, which carries the taskbar button.
    void Initialize();
    UnicodeString Title() const { return title_; }
    void SetTitle(const UnicodeString& title);
    HWND Handle() const { return handle_.get(); }

    // Creates a form owned by the application and stores it in `ref`; the
    // first form created becomes the main form. When the constructor raises,
    // `ref` is emptied and the error passes on.
    template <typename T>
    void CreateForm(T*& ref) {
        try {
            ref = new T(this);
        } catch (...) {
            ref = nullptr;
            throw;
        }
        if (!mainForm_) mainForm_ = ref;
    }
    TForm* MainForm() const { return mainForm_; }

    // Shows the main form and dispatches messages until terminated.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // The standard error display: a modal box with the message, captioned
    // with the title, with the error icon and one OK button.
    void ShowException(const Exception& e);

private:
    UnicodeString title_;
    UniqueWindow handle_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    bool comInitialized_ = false;
};

extern TApplication* Application;
