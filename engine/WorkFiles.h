// The engine's work files: where the converter scripts and the probe's
// capture file go, how they are named, and the exact text of a script.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace engine {

// Line 1 of every script. The script is UTF-8 without a byte-order mark, so
// text outside ASCII reaches the converter unchanged on Windows 10 and 11,
// whose cmd.exe decodes the lines after "chcp 65001" as UTF-8.
//
// Wine 8.0's cmd.exe ignores chcp and decodes batch files in the OEM code
// page 437. Measured end to end under wine64: a source C:\...\ü-日本.flv
// reaches the converter as the CP437 reading of its UTF-8 bytes,
// C:\...\├╝-µùÑµ£¼.flv, so the converter finds no such file, writes
// nothing, and the task ends at 0. ASCII paths, '%' included, arrive whole.
constexpr long kScriptCodePage = 65001;

// Doubles every '%': a batch script reads a single '%' as the start of a
// variable reference and drops it.
std::wstring escapeForScript(std::wstring_view text);

// The whole script: "chcp", an empty line, the converter's command, an empty
// line and the "del" of the script itself; CR LF line ends, none after the
// last line. Without an output path it is the probing command (parameters
// unused), with one the converting command.
std::wstring scriptText(const std::wstring& converterPath, const wchar_t* parameters, const std::wstring& inputPath,
                        const wchar_t* outputPath, const std::wstring& scriptPath);

std::string toUtf8(std::wstring_view text);

// The tick count as "%ld" writes it: a signed 32-bit number.
std::wstring tickText(DWORD tick);

// "<workFolder>\mconv<tick>", without ".bat".
std::wstring scriptBaseName(const std::wstring& workFolder, DWORD tick);

// Creates a file that did not exist: "<folder>\<prefix><tick><suffix>",
// counting the tick up past names already taken, so that two runs (of two
// instances, or in one tick) never overwrite each other's work files.
// Returns the path and leaves the open file in `file`; empty when none
// could be made.
std::wstring createFreshFile(const std::wstring& folder, const wchar_t* prefix, const wchar_t* suffix, DWORD tick,
                             HANDLE& file);

// Where the converter writes before its file takes the output's name:
// "<stem>.partial<tick><.ext>" beside the output.
std::wstring partialOutputPath(const std::wstring& outputPath, DWORD tick);

// The per-user roaming application-data folder; empty when the platform has
// none to give.
std::wstring applicationDataFolder();
// "<application data>\Media Converter".
std::wstring workFolderPath();

// The longest path we hand to cmd.exe and the file functions: beyond it the
// interpreter cannot run or redirect, so such a name fails cleanly instead.
constexpr size_t kMaxWorkPath = MAX_PATH - 1;

}  // namespace engine
