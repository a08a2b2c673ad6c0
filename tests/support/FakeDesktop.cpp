// The scripted Desktop used by the window object's tests.
#include "tests/support/FakeDesktop.h"

#include "ui/frmQuellix.h"

void FakeDesktop::at(int doEventsNumber, Action action) {
    scheduled_[doEvents + doEventsNumber].push_back(std::move(action));
}

void FakeDesktop::observe() {
    if (window_ == nullptr) return;
    const frmQuellix& w = *window_;
    if (statusLines.empty() || statusLines.back() != w.lblCurrentStatus.Caption) {
        statusLines.push_back(w.lblCurrentStatus.Caption);
    }
    if (currentBar.empty() || currentBar.back() != w.progbarCurrent.Value) {
        currentBar.push_back(w.progbarCurrent.Value);
    }
    if (totalBar.empty() || totalBar.back() != w.progbarTotal.Value) {
        totalBar.push_back(w.progbarTotal.Value);
    }
    if (titles.empty() || titles.back() != w.Me.Caption) titles.push_back(w.Me.Caption);
}

void FakeDesktop::DoEvents() {
    ++doEvents;
    observe();
    const auto it = scheduled_.find(doEvents);
    if (it != scheduled_.end() && window_ != nullptr) {
        auto actions = std::move(it->second);
        scheduled_.erase(it);
        for (auto& action : actions)
            action(*window_);
    }
    if (every_ && window_ != nullptr) every_(*window_);
}

int FakeDesktop::MsgBox(const std::string& text, int style, const std::string& title) {
    observe();
    boxes.push_back(Box{text, style, title});
    if ((style & vbYesNo) == 0) return vbOK;
    if (answers_.empty()) return (style & vbDefaultButton2) != 0 ? vbNo : vbYes;
    const int result = answers_.front();
    answers_.pop_front();
    return result;
}

bool FakeDesktop::ShowHelp(const std::string& file, int) {
    helpFiles.push_back(file);
    return helpOpens;
}

void FakeDesktop::endProgram(int status) {
    ++endings;
    if (atEnd) atEnd();
    throw ProgramEnded{status};
}

std::string FakeDesktop::CoveragePicture(const DriveAccount& drive) {
    if (drive.map.deviceBytes == 0) return "";
    return "PNG " + drive.root.substr(0, 2) + " " + drive.map.pass;
}
