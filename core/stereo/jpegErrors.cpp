#include "stereo/jpegLibrary.h"

namespace twinframe {

namespace {

JpegErrors& errorsOf(j_common_ptr info) {
    return *reinterpret_cast<JpegErrors*>(info->err);
}

[[noreturn]] void exitByJump(j_common_ptr info) {
    JpegErrors& errors = errorsOf(info);
    errors.code = info->err->msg_code;
    (*info->err->format_message)(info, errors.reason);
    std::longjmp(errors.jump, 1);
}

void emitMessage(j_common_ptr info, int level) {
    if (level < 0) // a warning: libjpeg's are all of corrupt or unusual data
        exitByJump(info);
}

void outputNothing(j_common_ptr) {}

} // namespace

jpeg_error_mgr* JpegErrors::use() {
    jpeg_std_error(&manager);
    manager.error_exit = exitByJump;
    manager.emit_message = emitMessage;
    manager.output_message = outputNothing;
    reason[0] = '\0';
    code = 0;
    return &manager;
}

void failJpeg(j_common_ptr info, int code) {
    info->err->msg_code = code;
    exitByJump(info);
}

} // namespace twinframe
