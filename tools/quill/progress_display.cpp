// progress_display.cpp - drawing the progress line in place.
#include "quill/progress_display.h"

#include <algorithm>
#include <cstdio>

namespace quill {

namespace {

// Columns a UTF-8 string takes: one per character.
size_t Columns(const std::string &text)
{
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The last `columns` characters of a UTF-8 string, led by "...".
std::string KeepTail(const std::string &text, size_t columns)
{
    if (Columns(text) <= columns)
        return text;
    if (columns <= 3)
        return std::string(columns, '.');
    size_t keep = columns - 3;
    size_t at = text.size();
    while (at > 0 && keep > 0) {
        --at;
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80)
            --keep;
    }
    return "..." + text.substr(at);
}

}  // namespace

Display::Display(Console &console, bool quiet)
    : console_(console), quiet_(quiet), showProgress_(!quiet && console.CanShowProgress())
{
}

void Display::Out(const std::string &line)
{
    if (quiet_)
        return;
    ClearProgress();
    console_.out() << line << "\n";
    console_.out().flush();
}

void Display::Err(const std::string &line)
{
    ClearProgress();
    console_.out().flush();
    console_.err() << line << "\n";
    console_.err().flush();
}

void Display::Start(int64_t totalBytes)
{
    total_ = totalBytes;
    started_ = console_.Now();
    drawnOnce_ = false;
}

void Display::Update(const std::string &entry, int32_t percent, int64_t bytesDone)
{
    if (!showProgress_)
        return;
    const auto now = console_.Now();
    if (drawnOnce_ && now - lastDrawn_ < kRedrawInterval)
        return;
    drawnOnce_ = true;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const int width = std::max(20, console_.Width());
    const std::string text = Format(entry, percent, bytesDone, total_, seconds, width);
    const size_t columns = Columns(text);
    std::string line = "\r" + text;
    if (shownColumns_ > columns)
        line.append(shownColumns_ - columns, ' ');
    console_.out().flush();
    console_.err() << line;
    console_.err().flush();
    shownColumns_ = std::max<size_t>(columns, 1);
    ++drawings_;
}

void Display::ClearProgress()
{
    if (shownColumns_ == 0)
        return;
    console_.err() << "\r" << std::string(shownColumns_, ' ') << "\r";
    console_.err().flush();
    shownColumns_ = 0;
}

std::string Display::Bytes(int64_t count)
{
    static const char *const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (count < 1024)
        return std::to_string(std::max<int64_t>(count, 0)) + " B";
    double value = static_cast<double>(count) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string Display::Format(const std::string &entry, int32_t percent, int64_t bytesDone,
                            int64_t totalBytes, double seconds, int width)
{
    char pct[16];
    std::snprintf(pct, sizeof pct, "%3d%%", std::clamp(percent, 0, 100));
    std::string numbers = std::string(pct) + "  " + Bytes(bytesDone) + " of " + Bytes(totalBytes);
    if (seconds >= 0.05)
        numbers += "  " + Bytes(static_cast<int64_t>(static_cast<double>(bytesDone) / seconds)) +
                   "/s";
    // The numbers stay whole; the name gives way, keeping its end.
    const size_t room = static_cast<size_t>(width - 1);
    const size_t numberColumns = numbers.size() + 2;
    if (numberColumns >= room)
        return KeepTail(numbers, room);
    return KeepTail(entry, room - numberColumns) + "  " + numbers;
}

}  // namespace quill
