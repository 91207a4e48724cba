#pragma once
// The running program: its forms and default instances, event dispatch, the
// Screen, message boxes, Unload and End. One Application exists while a
// program runs; forms and modules reach it through the free functions below.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

#include "runtime/form.h"
#include "runtime/platform.h"

namespace rt {

inline constexpr const char* ApplicationTitle = "Belmora";

class Application final : public Host {
public:
    explicit Application(Platform& platform);
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The application of the running program; there must be one.
    static Application& Current();

    // Loads and shows the startup form made by `create`, then handles events
    // until the program ends. Returns the exit status.
    int Run(const std::function<Form&()>& startup);

    Platform& platform() { return platform_; }

    // The default instance of a form class: created and loaded the first time
    // it is named, and afresh when named after it was unloaded.
    template <class T>
    T& Default()
    {
        if (Form* f = findDefault(typeid(T))) return static_cast<T&>(*f);
        auto form = std::make_unique<T>();
        T& ref = *form;
        adoptDefault(typeid(T), std::move(form));
        return ref;
    }

    // The default instance of a form class if it exists, without creating it.
    template <class T>
    T* Existing() const
    {
        return static_cast<T*>(findDefault(typeid(T)));
    }

    void Load(Form& form);
    void Show(Form& form);
    void Unload(Form& form);
    [[noreturn]] void End(int status = 0);
    void MsgBox(const std::string& prompt, int style, const std::string& title);
    void Beep(int frequencyHz, int durationMs);
    void PlaceTopMost(Long hWnd, int xPx, int yPx, int widthPx, int heightPx, bool show, bool activate);

    // Per-program storage for a code module's variables: made on first use,
    // gone with the program.
    template <class T>
    T& ModuleVariables()
    {
        auto& slot = modules_[typeid(T)];
        if (!slot) slot = std::shared_ptr<void>(new T(), [](void* p) { delete static_cast<T*>(p); });
        return *static_cast<T*>(slot.get());
    }

    // Called by forms and controls.
    void syncTimer(Timer& timer);
    void timerDestroyed(Timer& timer);

    bool ended() const { return ended_; }
    std::vector<Form*> loadedForms() const;

    // Host: the events of the backend.
    void onTimer(TimerId id) override;
    void onClick(WindowId w, int x, int y) override;
    void onDoubleClick(WindowId w, int x, int y) override;
    void onKeyPress(WindowId w, int charCode) override;
    void onGeometryChanged(WindowId w, PixelRect client) override;
    void onCloseRequest(WindowId w) override;

private:
    struct HeldClick {
        WindowId window = 0;
        std::string target;  // the picture box's name, or empty for the form
        TimerId timer = 0;
    };

    Form* findDefault(std::type_index type) const;
    void adoptDefault(std::type_index type, std::unique_ptr<Form> form);
    Form* formOfWindow(WindowId w) const;
    Form* formOfHandle(std::int32_t handle) const;
    void dispatch(Form* form, const std::function<void()>& handler);
    void handleUntrapped(const RuntimeError& e);
    void showBox(const std::string& prompt, int style, const std::string& title);
    void endNow(int status);
    // Takes a form's window away and stops its timers: the form is no longer loaded.
    void closeForm(Form& form);
    void syncTimers(Form& form);
    void afterHandlers();
    void sync();
    void syncForm(Form& form);
    void releaseHeldClick();
    void raiseClick(Form& form, const std::string& target);
    void runTick(Timer& timer);

    Platform& platform_;
    std::vector<std::unique_ptr<Form>> forms_;     // loaded or at least alive forms
    std::map<std::type_index, Form*> defaults_;    // default instances
    std::vector<std::unique_ptr<Form>> unloaded_;  // destroyed once no handler runs
    std::map<TimerId, Timer*> timers_;
    std::map<std::type_index, std::shared_ptr<void>> modules_;
    HeldClick held_;
    std::uint32_t nextHandle_ = 0x1000;
    int depth_ = 0;                 // handlers on the stack
    Form* activeForm_ = nullptr;    // the form whose handler runs
    bool ended_ = false;
    int status_ = 0;
    bool reportingError_ = false;
    int boxes_ = 0;                 // message boxes open
    int boxBaseDepth_ = 0;          // handlers on the stack when the innermost box opened
};

// The program's view of the runtime.
template <class T>
T& Default()
{
    return Application::Current().Default<T>();
}
void Unload(Form& form);
[[noreturn]] void End();
// A message box; with no title the caption is the application title. Returns 1 (OK).
Integer MsgBox(const std::string& prompt, int style = 0, const std::string& title = "");

// The primary screen, in twips.
struct Screen {
    static Single Width();
    static Single Height();
};

}  // namespace rt
