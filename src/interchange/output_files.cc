// The save policy for files an application writes itself: the C calls over SavePolicy.
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "files/sequence_files.h"
#include "interchange/save_policy.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"

struct QMV3_OUTPUT_FILES {
    explicit QMV3_OUTPUT_FILES(bool replace) : policy(replace) {}
    interchange::SavePolicy policy;
};

namespace {

int Fail(int code, const std::string& text, char* errorText, unsigned int errorTextSize) {
    _internal_copyErrorText(errorText, errorTextSize, text);
    return code;
}

// For the guards' handlers, which must not allocate.
int FailPlain(int code, const char* text, char* errorText, unsigned int errorTextSize) {
    if (errorText != nullptr && errorTextSize > 0) std::snprintf(errorText, errorTextSize, "%s", text);
    return code;
}

int Open(QMV3_OUTPUT_FILES** files, const char* const* paths, unsigned int count, unsigned int flags,
         char* errorText, unsigned int errorTextSize) {
    const bool checkOnly = (flags & QMV3_SAVE_FLAG_CHECK_ONLY) != 0;
    if (files != nullptr) *files = nullptr;
    if ((files == nullptr && !checkOnly) || paths == nullptr || count == 0)
        return Fail(QMV3_SAVE_PARAMETER_ERROR, "Output files: no names given.", errorText, errorTextSize);
    for (unsigned int i = 0; i < count; ++i)
        if (paths[i] == nullptr || paths[i][0] == '\0')
            return Fail(QMV3_SAVE_PARAMETER_ERROR, "Output files: a null or empty name.", errorText, errorTextSize);
    auto created = std::make_unique<QMV3_OUTPUT_FILES>((flags & QMV3_SAVE_FLAG_REPLACE) != 0);
    std::string message;
    for (unsigned int i = 0; i < count; ++i) created->policy.Add(paths[i]);
    int code = created->policy.Check(message, true);
    if (code == QMV3_SAVE_OK && !checkOnly) code = created->policy.Prepare(message);
    if (code != QMV3_SAVE_OK) return Fail(code, message, errorText, errorTextSize);
    if (!checkOnly) *files = created.release();
    return QMV3_SAVE_OK;
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmOpenOutputFiles(QMV3_OUTPUT_FILES** files, const char* const* paths, unsigned int count,
                                  unsigned int flags, char* errorText, unsigned int errorTextSize) {
    return qmv3::GuardedWith([&] { return Open(files, paths, count, flags, errorText, errorTextSize); },
                             [&] {
                                 return FailPlain(QMV3_SAVE_OUT_OF_MEMORY, "Output files: Memory allocation error.",
                                                  errorText, errorTextSize);
                             },
                             [&] {
                                 return FailPlain(QMV3_SAVE_OUT_OF_MEMORY, "Output files: Unexpected error.",
                                                  errorText, errorTextSize);
                             });
}

QMV3_EXPORT const char* qmGetOutputFileWritePath(const QMV3_OUTPUT_FILES* files, unsigned int index) {
    if (files == nullptr || index >= files->policy.Count()) return nullptr;
    return files->policy.WritePath(index).c_str();
}

QMV3_EXPORT int qmCommitOutputFiles(QMV3_OUTPUT_FILES* files, char* errorText, unsigned int errorTextSize) {
    if (files == nullptr)
        return Fail(QMV3_SAVE_PARAMETER_ERROR, "Output files: no object given.", errorText, errorTextSize);
    return qmv3::GuardedWith(
        [&] {
            std::string message;
            const int code = files->policy.Commit(message);
            return code == QMV3_SAVE_OK ? code : Fail(code, message, errorText, errorTextSize);
        },
        [&] {
            return FailPlain(QMV3_SAVE_OUT_OF_MEMORY, "Output files: Memory allocation error.", errorText,
                             errorTextSize);
        },
        [&] {
            return FailPlain(QMV3_SAVE_OUT_OF_MEMORY, "Output files: Unexpected error.", errorText, errorTextSize);
        });
}

QMV3_EXPORT void qmDiscardOutputFiles(const QMV3_OUTPUT_FILES* files) {
    if (files != nullptr) files->policy.Discard();
}

QMV3_EXPORT void qmCloseOutputFiles(QMV3_OUTPUT_FILES* files) {
    qmv3::GuardedWith([&] { delete files; }, [] {}, [] {});
}

}  // extern "C"
