#include "converter/Muxing.h"

#include "win/Scoped.h"

#include <windows.h>

namespace mirovex {

std::wstring temporaryPathFor(const std::wstring& target, unsigned long processId) {
    return target + L"." + std::to_wstring(processId) + L".part";
}

std::string toUtf8(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

bool sameFile(const std::wstring& a, const std::wstring& b) {
    auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        const win::UniqueFile h(CreateFileW(path.c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr));
        return h.valid() && GetFileInformationByHandle(h.get(), &info) != 0;
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (identity(a, ia) && identity(b, ib))
        return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
               ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
    // Where the file system gives no identity, compare the full names.
    wchar_t fa[MAX_PATH * 4], fb[MAX_PATH * 4];
    if (!GetFullPathNameW(a.c_str(), MAX_PATH * 4, fa, nullptr) ||
        !GetFullPathNameW(b.c_str(), MAX_PATH * 4, fb, nullptr))
        return false;
    return CompareStringOrdinal(fa, -1, fb, -1, TRUE) == CSTR_EQUAL;
}

OutputFile::~OutputFile() {
    ctx_.reset();  // closes the temporary file before it is removed
    if (tempExists_)
        DeleteFileW(temp_.c_str());
}

int OutputFile::create(const std::wstring& target, const std::string& format) {
    target_ = target;
    const std::string name = toUtf8(target);
    AVFormatContext* raw = nullptr;
    const int err = avformat_alloc_output_context2(
        &raw, nullptr, format.empty() ? nullptr : format.c_str(), name.c_str());
    if (err < 0 || !raw) {
        if (!format.empty())
            av_log(nullptr, AV_LOG_ERROR, "Requested output format '%s' is not a suitable output format\n",
                   format.c_str());
        else
            av_log(nullptr, AV_LOG_ERROR, "Unable to find a suitable output format for '%s'\n",
                   name.c_str());
        return err < 0 ? err : AVERROR(EINVAL);
    }
    ctx_.reset(raw);
    return 0;
}

int OutputFile::begin(AVDictionary** formatOptions) {
    temp_ = temporaryPathFor(target_, GetCurrentProcessId());
    AVFormatContext* oc = ctx_.get();
    if (!(oc->oformat->flags & AVFMT_NOFILE)) {
        // "file:" keeps a name such as "pipe:x" or "concat:x" a plain file.
        int err = avio_open(&oc->pb, ("file:" + toUtf8(temp_)).c_str(), AVIO_FLAG_WRITE);
        if (err < 0)
            return err;
        tempExists_ = true;
    }
    return avformat_write_header(oc, formatOptions);
}

int OutputFile::write(AVPacket* packet) { return av_interleaved_write_frame(ctx_.get(), packet); }

int OutputFile::commit() {
    AVFormatContext* oc = ctx_.get();
    int err = av_write_trailer(oc);
    if (err < 0)
        return err;
    if (oc->pb) {
        finalSize_ = avio_size(oc->pb);
        err = avio_closep(&oc->pb);
        if (err < 0)
            return err;
    }
    if (!tempExists_)
        return 0;
    if (!MoveFileExW(temp_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        av_log(nullptr, AV_LOG_ERROR, "Could not replace '%s' with the new output (Windows error %lu)\n",
               toUtf8(target_).c_str(), static_cast<unsigned long>(code));
        return code == ERROR_ACCESS_DENIED ? AVERROR(EACCES) : AVERROR(EIO);
    }
    tempExists_ = false;
    return 0;
}

int64_t OutputFile::bytesWritten() const {
    AVFormatContext* oc = ctx_.get();
    return oc && oc->pb ? avio_tell(oc->pb) : finalSize_;
}

}  // namespace mirovex
