// Answers the plug-in's options dialog the way a person would: on Windows by
// automating the real dialog from a helper thread, on Linux through the
// user-interface stand-in. It also records what the dialog showed.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bxml::host {

struct DialogAnswer {
    std::optional<std::wstring> scaleText; // typed into the scale box
    std::optional<bool> importLights;      // box 2048
    std::optional<bool> sceneMeshesOnly;   // box 2049
    std::optional<bool> pruneBones;        // box 2047
    std::optional<bool> swapModel;         // box 2046
    bool cancel = false;                   // press Cancel instead of OK
    bool interactive = false;              // Windows: leave the dialog to the person
};

struct ObservedControl {
    int id = 0;
    std::wstring text;
};

struct DialogObservation {
    bool shown = false;
    std::wstring caption;
    std::vector<ObservedControl> controls; // in tab order, as the dialog opened
    std::map<int, bool> checks;            // the four boxes as the dialog opened

    // The text of the first control with this id (empty when there is none).
    std::wstring text(int id) const;
    bool has(int id) const;
};

class DialogDriver {
public:
    explicit DialogDriver(DialogAnswer answer);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Call before sending IMPORT_OPTIONS_REQUEST, on the thread that sends it.
    void arm();
    // Call after the request returned: what the dialog showed.
    DialogObservation finish();

private:
    struct Impl;
    Impl* impl_;
};

// The ids of the four option boxes, in the order the dialog reads them.
inline constexpr int OPTION_BOX_IDS[4] = {2048, 2049, 2047, 2046};

} // namespace bxml::host
