#pragma once

// libjpeg as the stereo room uses it: its header, and an error manager that never lets it end
// the process. Only the room's own files include this; its public header carries no libjpeg.
#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers
#include <string>

#include <jpeglib.h>

namespace twinframe {

// libjpeg's way out of an error is a function that must not return: ours jumps back to the
// setjmp of the call that began the work, with libjpeg's reason kept as text. Warnings of
// corrupt data (level -1: data cut short, a bad Huffman code, bytes where a marker should be)
// jump too: libjpeg would carry on and fill what it lost with grey, and a picture we put side by
// side or cut must be whole. Traces and other messages are kept quiet.
//
// The function that calls setjmp must hold no C++ object with a destructor across it, and no
// frame between it and libjpeg's call back may either: longjmp runs no destructors.
struct JpegErrors {
    jpeg_error_mgr manager; // first, so that the jpeg_error_mgr* libjpeg hands back is this
    std::jmp_buf jump;
    char reason[JMSG_LENGTH_MAX];
    int code; // libjpeg's message code for the failure

    // The manager to put in a libjpeg object's err, set up to jump.
    jpeg_error_mgr* use();
    std::string text() const { return reason; }
};

// Jumps out of libjpeg through info's error manager (a JpegErrors) with libjpeg's message code.
[[noreturn]] void failJpeg(j_common_ptr info, int code);

} // namespace twinframe
