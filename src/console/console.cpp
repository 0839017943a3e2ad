#include "console/console.h"

#include "console/messages.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace trevox {

RunState g_run;

void run_state_reset() {
    g_run = RunState{};
}

// Formats once per stream: standard output, then standard error when mirroring.
int say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (g_run.batch_console != 0) {
        std::vfprintf(stderr, format, args);
        va_end(args);
        return 0;
    }
    va_list copy;
    va_copy(copy, args);
    std::vfprintf(stdout, format, args);
    if (g_run.mirror_output != 0) {
        std::vfprintf(stderr, format, copy);
    }
    va_end(copy);
    va_end(args);
    return 0;
}

int say_unmirrored(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(g_run.batch_console != 0 ? stderr : stdout, format, args);
    va_end(args);
    return 0;
}

// Waits for one key, then drops every key typed ahead. Without a console the
// key read returns at once, so the pause never hangs; under AssumeYes the
// line is printed and nothing is read.
void pause() {
    if (g_run.batch_console != 0) {
        return;
    }
    say("%s", msg::press_enter);
    std::fflush(stdout);
    std::fflush(stderr);
    if (g_settings.AssumeYes != 0) {
        return;
    }
    if (console_getch() < 0) {
        return;
    }
    while (console_kbhit()) {
        if (console_getch() < 0) {
            break;
        }
    }
}

void show_banner_titled(const char* title_line) {
    say(msg::banner_version, msg::version_text, msg::version_date_text);
    say("%s", title_line);
    say("%s", msg::banner_credit);
    say("%s", msg::banner_email);
    if (g_settings.VerboseMode != 0) {
        say("%s", msg::banner_verbose);
    }
    current_directory(g_run.cwd);
    say(msg::banner_cwd, g_run.cwd.c_str());
    say("\n");
}

void show_banner() {
    show_banner_titled(msg::banner_title);
}

namespace {

// Two digits of a value in 0..99.
void append_two(std::string& out, int value) {
    out += static_cast<char>('0' + (value / 10) % 10);
    out += static_cast<char>('0' + value % 10);
}

// Reads SOURCE_DATE_EPOCH into `seconds`. 0: not set; 1: set and valid;
// -1: set but not whole seconds.
int source_date_epoch(std::int64_t& seconds) {
    const char* text = env_value("SOURCE_DATE_EPOCH");
    if (text == nullptr) {
        return 0;
    }
    if (*text == '\0') {
        return -1;
    }
    constexpr std::int64_t limit = INT64_MAX / 10 - 10;
    seconds = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || seconds > limit) {
            return -1;
        }
        seconds = seconds * 10 + (*p - '0');
    }
    return 1;
}

} // namespace

bool build_stamps() {
    CivilTime now;
    std::int64_t seconds = 0;
    const int epoch = source_date_epoch(seconds);
    if (epoch < 0 || (epoch > 0 && !utc_time_from_epoch(seconds, now))) {
        const char* text = env_value("SOURCE_DATE_EPOCH");
        say(msg::bad_source_date_epoch, text != nullptr ? text : "");
        return false;
    }
    if (epoch == 0) {
        local_time_now(now);
    }
    g_run.date_stamp.clear();
    append_two(g_run.date_stamp, now.month);
    g_run.date_stamp += '-';
    append_two(g_run.date_stamp, now.day);
    g_run.date_stamp += '-';
    append_two(g_run.date_stamp, now.year % 100);

    g_run.time_stamp.clear();
    append_two(g_run.time_stamp, now.hour);
    g_run.time_stamp += ':';
    append_two(g_run.time_stamp, now.minute);
    g_run.time_stamp += ':';
    append_two(g_run.time_stamp, now.second);

    g_run.stamp_tail = g_run.date_stamp + " at " + g_run.time_stamp + "\n";
    g_run.reformat_stamp = std::string("   '-- $Reformatted by Trevox, Ver. ") + msg::version_text +
                           ", on " + g_run.stamp_tail;
    g_run.restore_stamp_line = "echo .  Created by Trevox on " + g_run.stamp_tail;
    g_run.log_stamp_line = "Created by Trevox on " + g_run.stamp_tail;
    return true;
}

} // namespace trevox
