// The one setting kept between runs: the output folder, per user, in the
// registry under a key named after the preset family's output extension.
#pragma once

#include <string>

// "Software\Brivane Media Converter\<extension>" for the application's family.
std::wstring settingsKeyPath();

// True when the key could be opened or created; the value write itself is
// not checked.
bool saveOutputFolder(const std::wstring& folder);

// The stored folder, or empty when there is none or it is not a REG_SZ of at
// most 260 characters. The first load of a new user creates the empty key.
std::wstring loadOutputFolder();
