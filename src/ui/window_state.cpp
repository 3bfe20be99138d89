// The main window's global state, its repaint areas and its reset before an in-process
// restart.
#include <mutex>
#include <utility>

#include "ui/ui.h"

namespace qel {

// Its texts are guarded by their own locks, the message by messageMutex; the rest is atomic.
MainWindowState g_mainWindowState;
std::atomic<uint32_t> g_selectedObjectId{0};

void SharedText::set(std::string text)
{
    std::scoped_lock lock(mutex_);
    text_ = std::move(text);
}

std::string SharedText::get() const
{
    std::scoped_lock lock(mutex_);
    return text_;
}

bool SharedText::empty() const
{
    std::scoped_lock lock(mutex_);
    return text_.empty();
}

MainWindowState::MainWindowState()
{
    // Last, so that initInstance sees every member built.
    ready = true;
}

MainWindowState::~MainWindowState() = default;

platform::Rect gf_areaRect(WindowArea area)
{
    switch (area) {
    case WindowArea::StatusStrip: return {0, 28, 880, 112};
    case WindowArea::ControlBand: return {0, 112, 880, 392};
    case WindowArea::Statistics: return {0, 392, 880, 448};
    case WindowArea::MessageBand: return {0, 448, 880, 476};
    case WindowArea::Whole: break;
    }
    return {0, 0, kClientWidth, kClientHeight};
}

void gf_invalidateArea(WindowArea area)
{
    if (auto* window = g_mainWindowState.window.load()) window->invalidate(gf_areaRect(area));
}

void gf_resetWindowState()
{
    auto& state = g_mainWindowState;
    g_selectedObjectId = 0;  // the objects of the previous run are gone
    {
        std::scoped_lock lock(state.messageMutex);
        state.messageText.clear();
        state.errorText.clear();
        state.messageShownAt = 0;
        state.secondCounter = 0;
    }
    for (auto* text : {&state.userAircraftTitle, &state.parkAirportText, &state.standFileNameText,
                       &state.standFileKindText, &state.qualityText, &state.simulatorText,
                       &state.realTrafficText, &state.userStand, &state.selectedAircraftText,
                       &state.reservedStandText}) {
        text->set({});
    }
    for (auto* count : {&state.liveCount, &state.parkedLiveCount, &state.staticCount,
                        &state.standCount, &state.staticCandidateCount}) {
        *count = 0;
    }
    state.updateCount = 0;
    state.qnh = 0;
    state.staticAverageFit = -1.0F;
    state.liveAverageFit = -1.0F;
    for (auto* flag : {&state.handmade, &state.realTrafficSignedIn, &state.standFileLoaded,
                       &state.simulatorConnected, &state.softApplied, &state.weekApplied}) {
        *flag = false;
    }
    state.nowAllowed = false;
    state.realTrafficIdle = true;
    state.timeShiftFlag = true;
    state.trafficReaderStatus = 3;
    state.weatherReaderStatus = 3;
    gf_invalidateArea(WindowArea::Whole);
}

}  // namespace qel
