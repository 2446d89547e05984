// progress_display.h - the progress line and everything printed around it.
//
// All of a command's output goes through a Display: a line for out or err
// first wipes a progress line that stands on the terminal, so the two never
// mix.  The progress line shows the current entry, its percent (as the
// library reports it), the bytes written of the whole run and the rate, and
// is redrawn at most five times a second: the first report draws at once,
// later ones only when 200 ms have passed since the last drawing.
#pragma once

#include <cstdint>
#include <string>

#include "quill/console.h"

namespace quill {

class Display {
public:
    // Progress is drawn only when the console allows it and not quiet.
    Display(Console &console, bool quiet);
    ~Display() { ClearProgress(); }

    void Out(const std::string &line);   // a line on out (not when quiet)
    void Err(const std::string &line);   // a line on err, always

    // Starts a run over totalBytes of entry data.
    void Start(int64_t totalBytes);
    // An entry of totalBytes will not be written after all (skipped).
    void ReduceTotal(int64_t bytes) { total_ -= bytes; }
    // A progress report: the entry (as shown to the user), its percent and
    // the bytes written so far in the whole run.
    void Update(const std::string &entry, int32_t percent, int64_t bytesDone);
    // Wipes the progress line, if one is shown.
    void ClearProgress();

    bool quiet() const { return quiet_; }
    int drawings() const { return drawings_; }

    // The text of one progress line, cut to width columns (exposed for tests).
    static std::string Format(const std::string &entry, int32_t percent, int64_t bytesDone,
                              int64_t totalBytes, double seconds, int width);
    // 1536 -> "1.5 KiB".
    static std::string Bytes(int64_t count);

    static constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

private:
    Console &console_;
    bool quiet_;
    bool showProgress_;
    int64_t total_ = 0;
    Console::Clock::time_point started_{};
    Console::Clock::time_point lastDrawn_{};
    bool drawnOnce_ = false;
    size_t shownColumns_ = 0;  // of the line on the terminal now; 0: none
    int drawings_ = 0;
};

}  // namespace quill
