#include "host/dialog_driver.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>
#else
#include "platform/standin/ui_standin.h"
#endif

namespace bxml::host {

namespace {
constexpr int SCALE_BOX = 1021;
constexpr int OK_BUTTON = 1;
constexpr int CANCEL_BUTTON = 2;
constexpr const wchar_t* CAPTION = L"Import Blender XML Model";
} // namespace

std::wstring DialogObservation::text(int id) const {
    for (const ObservedControl& c : controls)
        if (c.id == id) return c.text;
    return {};
}

bool DialogObservation::has(int id) const {
    for (const ObservedControl& c : controls)
        if (c.id == id) return true;
    return false;
}

#ifdef _WIN32

struct DialogDriver::Impl {
    DialogAnswer answer;
    DialogObservation observation;
    DWORD ownerThread = 0;
    std::thread worker;
    std::atomic<bool> stop{false};

    static BOOL CALLBACK findDialog(HWND window, LPARAM param) {
        wchar_t caption[128] = {};
        GetWindowTextW(window, caption, 128);
        if (std::wstring(caption) == CAPTION) {
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        }
        return TRUE;
    }

    static BOOL CALLBACK collectControl(HWND child, LPARAM param) {
        auto* self = reinterpret_cast<Impl*>(param);
        wchar_t text[256] = {};
        GetWindowTextW(child, text, 256);
        ObservedControl c;
        c.id = GetDlgCtrlID(child) & 0xFFFF;
        c.text = text;
        self->observation.controls.push_back(c);
        return TRUE;
    }

    void run() {
        HWND dialog = nullptr;
        // Poll for up to 30 s for the dialog among the owner thread's windows.
        for (int i = 0; i < 3000 && dialog == nullptr && !stop; ++i) {
            EnumThreadWindows(ownerThread, &findDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (dialog == nullptr) return;
        observation.shown = true;
        observation.caption = CAPTION;
        EnumChildWindows(dialog, &collectControl, reinterpret_cast<LPARAM>(this));
        for (int id : OPTION_BOX_IDS) observation.checks[id] = IsDlgButtonChecked(dialog, id) == BST_CHECKED;
        if (answer.interactive) return;
        if (answer.scaleText) SetDlgItemTextW(dialog, SCALE_BOX, answer.scaleText->c_str());
        const std::optional<bool>* boxes[4] = {&answer.importLights, &answer.sceneMeshesOnly, &answer.pruneBones,
                                               &answer.swapModel};
        for (int k = 0; k < 4; ++k) {
            if (*boxes[k]) CheckDlgButton(dialog, OPTION_BOX_IDS[k], **boxes[k] ? BST_CHECKED : BST_UNCHECKED);
        }
        int button = answer.cancel ? CANCEL_BUTTON : OK_BUTTON;
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
        // Watchdog: a dialog that stays open after the press is cancelled, so
        // that a failure cannot hang the caller.
        for (int i = 0; i < 1000 && IsWindow(dialog) && !stop; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(CANCEL_BUTTON, BN_CLICKED), 0);
    }
};

DialogDriver::DialogDriver(DialogAnswer answer) : impl_(new Impl) { impl_->answer = std::move(answer); }

DialogDriver::~DialogDriver() {
    impl_->stop = true;
    if (impl_->worker.joinable()) impl_->worker.join();
    delete impl_;
}

void DialogDriver::arm() {
    impl_->ownerThread = GetCurrentThreadId();
    impl_->worker = std::thread([this] { impl_->run(); });
}

DialogObservation DialogDriver::finish() {
    impl_->stop = true;
    if (impl_->worker.joinable()) impl_->worker.join();
    return impl_->observation;
}

#else

struct DialogDriver::Impl {
    DialogAnswer answer;
    DialogObservation observation;
};

DialogDriver::DialogDriver(DialogAnswer answer) : impl_(new Impl) { impl_->answer = std::move(answer); }

DialogDriver::~DialogDriver() {
    ui::standin::setDialogUser({});
    delete impl_;
}

void DialogDriver::arm() {
    Impl* impl = impl_;
    ui::standin::setDialogUser([impl](ui::standin::DialogSession& s) {
        DialogObservation& o = impl->observation;
        o.shown = true;
        o.caption = s.caption;
        for (const ui::standin::Control& c : s.controls) o.controls.push_back(ObservedControl{c.id, c.text});
        for (int id : OPTION_BOX_IDS) o.checks[id] = s.checked(id);
        const DialogAnswer& a = impl->answer;
        if (a.scaleText) s.type(SCALE_BOX, *a.scaleText);
        const std::optional<bool>* boxes[4] = {&a.importLights, &a.sceneMeshesOnly, &a.pruneBones, &a.swapModel};
        for (int k = 0; k < 4; ++k) {
            if (*boxes[k]) s.setChecked(OPTION_BOX_IDS[k], **boxes[k]);
        }
        s.press(a.cancel ? CANCEL_BUTTON : OK_BUTTON);
    });
}

DialogObservation DialogDriver::finish() {
    ui::standin::setDialogUser({});
    return impl_->observation;
}

#endif

} // namespace bxml::host
