// A stand-in for STMicroelectronics' STM32_Programmer_CLI, for tests only. It answers the three calls
// the driver makes (USB listing, SWD connection test, write-verify-start) with the real tool's output
// shape: banner, CRLF line ends, errors on standard output, exit code 1 on failure.
//
// It reads what to answer from the file "scenario" in the directory named by STM32_STANDIN_DIR
// (key=value lines; a missing directory or file means: one healthy device). In that directory it also
// appends every call's arguments to "calls" (tab-separated, one call per line), counts probes in
// "probes" and copies the file it was asked to write to "flashed.bin".
//
// Scenario keys:
//   usb_devices=N          devices in the DFU listing (default 1)
//   swd=ok|no-target|no-probe
//   flash=ok|verify-fail|exit-1|no-start|no-device
//   not_ready=N            the first N probes find no device
//   flash_ms=N             a write run takes N ms, as the real download does
//   ansi=1                 colour the status lines as the tool does on a terminal
//   stdout_file=PATH       print this file's bytes verbatim instead of anything else
//   exit_code=N            exit code that goes with stdout_file
//   stderr_bytes=N         write N bytes to standard error before anything else
//   snapshot_file=PATH     copy PATH's bytes, as they are when the tool starts, to "snapshot"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

namespace fs = std::filesystem;

using Scenario = std::map<std::string, std::string>;

struct Call {
    std::vector<std::string> args;
    bool list_usb = false;
    bool connect = false;
    bool usb_port = false;
    std::string write_file;
};

std::string out;

void line(const std::string& text = {}) { out += text + "\r\n"; }

std::string colour(const Scenario& s, const std::string& code, const std::string& text) {
    if (s.count("ansi") == 0 || s.at("ansi") != "1") return text;
    return "\x1b[" + code + "m" + text + "\x1b[39;49m";
}

void error_line(const Scenario& s, const std::string& text) { line(colour(s, "31", "Error: " + text)); }

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Scenario read_scenario(const fs::path& dir) {
    Scenario s;
    std::istringstream text(read_file(dir / "scenario"));
    for (std::string l; std::getline(text, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        const auto eq = l.find('=');
        if (l.empty() || l[0] == '#' || eq == std::string::npos) continue;
        s[l.substr(0, eq)] = l.substr(eq + 1);
    }
    return s;
}

long number(const Scenario& s, const std::string& key, long fallback) {
    const auto it = s.find(key);
    return it == s.end() ? fallback : std::strtol(it->second.c_str(), nullptr, 10);
}

Call parse(int argc, char** argv) {
    Call call;
    for (int i = 1; i < argc; ++i) call.args.emplace_back(argv[i]);
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        const std::string& a = call.args[i];
        const bool has_next = i + 1 < call.args.size();
        if ((a == "--list" || a == "-l") && has_next && call.args[i + 1] == "usb") call.list_usb = true;
        if (a == "--connect" || a == "-c") call.connect = true;
        if (a.rfind("port=USB", 0) == 0 || a.rfind("port=usb", 0) == 0) call.usb_port = true;
        if ((a == "--write" || a == "-w" || a == "--download" || a == "-d") && has_next)
            call.write_file = call.args[i + 1];
    }
    return call;
}

void banner() {
    line("      -------------------------------------------------------------------");
    line("                        STM32CubeProgrammer v2.17.0                  ");
    line("      -------------------------------------------------------------------");
    line();
}

// A probe counts towards not_ready; true while the device is still "not there".
bool still_not_ready(const fs::path& dir, const Scenario& s) {
    if (dir.empty()) return false;
    const long probes = std::strtol(read_file(dir / "probes").c_str(), nullptr, 10) + 1;
    std::ofstream(dir / "probes", std::ios::trunc) << probes;
    return probes <= number(s, "not_ready", 0);
}

void usb_device_block(int index) {
    line("  Device Index           : USB" + std::to_string(index));
    line("  USB Bus Number         : 001");
    line("  USB Address Number     : 00" + std::to_string(3 + index));
    line("  Product ID             : DFU in FS Mode");
    line("  Serial number          : 205F37A0565" + std::to_string(index));
    line("  Firmware version       : 0x011a");
    line("  Device ID              : 0x0415");
}

void list_usb(long devices) {
    line("=====  DFU Interface   =====");
    line();
    if (devices == 0) {
        line("No STM32 device in DFU mode connected");
        return;
    }
    line("Total number of available STM32 device in DFU mode: " + std::to_string(devices));
    line();
    for (long i = 1; i <= devices; ++i) usb_device_block(static_cast<int>(i));
    line();
}

void swd_target_lines() {
    line("ST-LINK SN  : 066DFF495051717867175138");
    line("ST-LINK FW  : V2J37M26");
    line("Board       : --");
    line("Voltage     : 3.23V");
    line("SWD freq    : 4000 KHz");
    line("Connect mode: Under Reset");
    line("Reset mode  : Hardware reset");
    line("Device ID   : 0x410");
    line("Revision ID : Rev X");
    line("Device name : STM32F101/F102/F103 Medium-density");
    line("Flash size  : 128 KBytes");
    line("Device type : MCU");
    line("Device CPU  : Cortex-M3");
    line("BL Version  : --");
    line();
}

void usb_target_lines() {
    line("USB speed   : Full Speed (12MBit/s)");
    line("Manuf. ID   : STMicroelectronics");
    line("Product ID  : DFU in FS Mode");
    line("SN          : 205F37A05651");
    line("DFU protocol: 1.1");
    line("Board       : --");
    line("Device ID   : 0x0415");
    line("Device name : STM32L4x1/STM32L475xx/STM32L476xx/STM32L486xx");
    line("Flash size  : 1 MBytes");
    line("Device type : MCU");
    line("Device CPU  : Cortex-M4");
    line();
}

// Returns the exit code.
int swd_connect(const Scenario& s, bool not_ready) {
    const std::string state = not_ready ? "no-target" : (s.count("swd") ? s.at("swd") : "ok");
    if (state == "no-probe") {
        error_line(s, "No debug probe detected.");
        return 1;
    }
    line("ST-LINK SN  : 066DFF495051717867175138");
    if (state == "no-target") {
        error_line(s,
                   "No STM32 target found! If your product embeds Debug Authentication, please perform a "
                   "discovery using Debug Authentication");
        return 1;
    }
    swd_target_lines();
    return 0;
}

std::string size_text(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f KB", static_cast<double>(bytes) / 1024.0);
    return text;
}

int flash(const Call& call, const Scenario& s, const fs::path& dir) {
    const std::string mode = s.count("flash") ? s.at("flash") : "ok";
    if (mode == "no-device") {
        error_line(s, call.usb_port ? "No DFU device found" : "No STM32 target found!");
        return 1;
    }
    if (call.usb_port) {
        usb_target_lines();
    } else {
        swd_target_lines();
    }
    line();
    line("Memory Programming ...");
    line("Opening and parsing file: " + fs::path(call.write_file).filename().string());
    std::error_code ec;
    const auto size = fs::file_size(call.write_file, ec);
    if (ec) {
        error_line(s, "file does not exist: " + call.write_file);
        return 1;
    }
    if (!dir.empty())
        fs::copy_file(call.write_file, dir / "flashed.bin", fs::copy_options::overwrite_existing);
    line("  File          : " + fs::path(call.write_file).filename().string());
    line("  Size          : " + size_text(size) + " ");
    line("  Address       : 0x08000000 ");
    line();
    line();
    std::this_thread::sleep_for(std::chrono::milliseconds(number(s, "flash_ms", 0)));
    line("Erasing memory corresponding to segment 0:");
    line("Erasing internal memory sectors [0 70]");
    line("Download in Progress:");
    line();
    line();
    line(colour(s, "32", "File download complete"));
    line("Time elapsed during download operation: 00:00:00.913");
    line();
    line();
    line();
    line("Verifying ...");
    line();
    line();
    line("Read progress:");
    line();
    if (mode == "verify-fail") {
        error_line(s, "Data mismatch found at address  0x08000104 (byte = 0x5A instead of 0x3C)");
        error_line(s, "Download verification failed");
        return 1;
    }
    line(colour(s, "32", "Download verified successfully "));
    line();
    line();
    line("RUNNING Program ... ");
    line("  Address:      : 0x08000000");
    if (mode == "no-start") {
        line("Warning: the core is still held under reset");
        return 0;
    }
    line("Application is running, Please Hold on...");
    line(colour(s, "32", "Start operation achieved successfully"));
    return mode == "exit-1" ? 1 : 0;
}

int answer(const Call& call, const Scenario& s, const fs::path& dir) {
    banner();
    if (call.list_usb) {
        list_usb(still_not_ready(dir, s) ? 0 : number(s, "usb_devices", 1));
        return 0;
    }
    if (!call.write_file.empty()) return flash(call, s, dir);
    if (call.connect) {
        const bool not_ready = still_not_ready(dir, s);
        if (call.usb_port) {
            if (not_ready || number(s, "usb_devices", 1) == 0) {
                error_line(s, "No DFU device found");
                return 1;
            }
            usb_target_lines();
            return 0;
        }
        return swd_connect(s, not_ready);
    }
    line("Usage :");
    line("STM32_Programmer_CLI.exe [command_1] [Arguments_1][[command_2] [Arguments_2]...]");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const char* dir_env = std::getenv("STM32_STANDIN_DIR");
    const fs::path dir = dir_env != nullptr ? fs::path(dir_env) : fs::path();
    const Call call = parse(argc, argv);
    const Scenario s = dir.empty() ? Scenario{} : read_scenario(dir);

    if (const auto snapshot = s.find("snapshot_file"); snapshot != s.end()) {
        std::ofstream(dir / "snapshot", std::ios::binary | std::ios::trunc) << read_file(snapshot->second);
    }

    if (!dir.empty()) {
        std::ofstream calls(dir / "calls", std::ios::app | std::ios::binary);
        for (std::size_t i = 0; i < call.args.size(); ++i) calls << (i ? "\t" : "") << call.args[i];
        calls << '\n';
    }

    if (const long noise = number(s, "stderr_bytes", 0); noise > 0) {
        const std::string chunk(4096, 'e');
        for (long left = noise; left > 0; left -= static_cast<long>(chunk.size())) {
            std::fwrite(chunk.data(), 1, std::min<std::size_t>(chunk.size(), static_cast<std::size_t>(left)),
                        stderr);
        }
        std::fflush(stderr);
    }

    int code = 0;
    if (const auto raw = s.find("stdout_file"); raw != s.end()) {
        out = read_file(raw->second);
        code = static_cast<int>(number(s, "exit_code", 0));
    } else {
        code = answer(call, s, dir);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return code;
}
