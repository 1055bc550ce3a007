#include "tools/common/flight_profile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

FlightProfile FlightProfile::BuiltIn() {
    // Seconds since the start, metres per minute (descent positive): a short flight.
    FlightProfile profile;
    profile.points_ = {
        {0, 0},     {4, 0},      // on the runway
        {8, -450},  {30, -450},  // take-off and initial climb, about 1500 ft/min
        {36, -250}, {50, -250},  // cruise climb, about 800 ft/min
        {55, 0},    {70, 0},     // level
        {74, -120}, {84, -120},  // step climb, about 400 ft/min
        {88, 0},    {98, 0},     // level
        {104, 300}, {124, 300},  // descent, about 1000 ft/min
        {128, 600}, {136, 600},  // steep descent, about 2000 ft/min
        {142, 220}, {160, 220},  // approach, about 700 ft/min
        {164, 60},  {168, 0},    // flare, roll-out
        {172, 0},
    };
    profile.interpolate_ = true;
    profile.period_s_ = 172;
    return profile;
}

std::optional<FlightProfile> FlightProfile::FromScript(const std::string& script, std::string& error) {
    FlightProfile profile;
    size_t start = 0;
    while (start <= script.size() && !script.empty()) {
        size_t comma = script.find(',', start);
        if (comma == std::string::npos) comma = script.size();
        std::string entry = script.substr(start, comma - start);
        start = comma + 1;
        size_t colon = entry.find(':');
        char* end_time = nullptr;
        char* end_value = nullptr;
        if (colon == std::string::npos) {
            error = "script entry '" + entry + "' is not TIME:VALUE";
            return std::nullopt;
        }
        std::string time_text = entry.substr(0, colon), value_text = entry.substr(colon + 1);
        double time_s = std::strtod(time_text.c_str(), &end_time);
        double value = std::strtod(value_text.c_str(), &end_value);
        if (time_text.empty() || value_text.empty() || *end_time != '\0' || *end_value != '\0' ||
            !std::isfinite(time_s) || !std::isfinite(value) || time_s < 0) {
            error = "script entry '" + entry + "' is not TIME:VALUE with numbers";
            return std::nullopt;
        }
        if (!profile.points_.empty() && time_s <= profile.points_.back().time_s) {
            error = "script times must rise, at '" + entry + "'";
            return std::nullopt;
        }
        profile.points_.push_back({time_s, value});
    }
    if (profile.points_.empty()) {
        error = "empty script";
        return std::nullopt;
    }
    return profile;
}

FlightProfile FlightProfile::Fixed(double metres_per_minute) {
    FlightProfile profile;
    profile.points_ = {{0, metres_per_minute}};
    return profile;
}

double FlightProfile::ValueAt(double seconds) const {
    if (period_s_ > 0) seconds = std::fmod(std::max(0.0, seconds), period_s_);
    if (seconds < points_.front().time_s) return 0;
    for (size_t i = 1; i < points_.size(); ++i) {
        if (seconds < points_[i].time_s) {
            const Point& a = points_[i - 1];
            if (!interpolate_) return a.value_mpm;
            const Point& b = points_[i];
            double t = (seconds - a.time_s) / (b.time_s - a.time_s);
            double eased = t * t * (3 - 2 * t);
            return a.value_mpm + (b.value_mpm - a.value_mpm) * eased;
        }
    }
    return points_.back().value_mpm;
}

int16_t VerticalSpeedWord(double metres_per_minute) {
    if (std::isnan(metres_per_minute)) return 0;
    double value = std::round(metres_per_minute);
    return static_cast<int16_t>(std::clamp(value, -32768.0, 32767.0));
}

short FlightProfile::WordAt(double seconds) const { return VerticalSpeedWord(ValueAt(seconds)); }
