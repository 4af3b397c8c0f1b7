#include "tests/ui/UiTestSupport.h"

#include "resources/resource.h"
#include "ui/MainDialog.h"

#include <gtest/gtest.h>

namespace uitest {

ConverterSteering::ConverterSteering(std::initializer_list<std::pair<const wchar_t*, std::wstring>> values) {
    for (const auto& [name, value] : values) {
        SetEnvironmentVariableW(name, value.c_str());
        names_.push_back(name);
    }
}

ConverterSteering::~ConverterSteering() {
    for (const std::wstring& name : names_)
        SetEnvironmentVariableW(name.c_str(), nullptr);
}

ConvertFixture::ConvertFixture(const std::wstring& name, int templateId)
    : sources_(name + L"-in"), outputs_(name + L"-out"), session_(templateId) {
    driver::setItemText(session_.dialog(), IDC_OUTPUT_FOLDER, outputs_.path());
}

void ConvertFixture::add(const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names)
        EXPECT_GE(addToList(sources_.write(name).c_str()), 0) << std::string(name.begin(), name.end());
}

HWND ConvertFixture::convert() {
    driver::click(session_.dialog(), IDC_CONVERT);
    HWND progress = driver::waitForDialog(L"Progress");
    EXPECT_NE(progress, nullptr) << "no progress dialog";
    return progress;
}

}  // namespace uitest
