/*
 * The encoder library's C interface (libTarvikDll.so).
 *
 * Each pass turns a frame-serving script into one elementary stream: MPEG-1
 * video or MPEG audio Layer II. At most one pass is open at a time; the
 * pass functions may be called from any one thread, but not concurrently.
 * The two preview functions may be called from any thread, also while a pass
 * runs (see Encode_Preview).
 * Strings are NUL-terminated 8-bit text (UTF-8 on Linux); numbers are signed
 * 32-bit. Every function returns a signed 32-bit integer and never throws.
 */
#ifndef TARVIK_H
#define TARVIK_H

#include <stdint.h>

#if defined(_WIN32)
#define TARVIK_API __declspec(dllexport) __stdcall
#else
#define TARVIK_API __attribute__((visibility("default")))
#endif

/* C++ callers see that no entry point throws. */
#ifdef __cplusplus
#define TARVIK_NOEXCEPT noexcept
#else
#define TARVIK_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opens one pass: parses and evaluates the script, opens the sources and the
 * output, then starts encoding on a worker thread. videoPass is 1 for the
 * MPEG-1 video stream, 0 for the audio stream. mode: 0 High Quality,
 * 1 Normal Quality, 2 Fast Speed. videoBitrate and audioBitrate are kbit/s.
 *
 * The video stream is always labelled 25 frames per second, whatever the
 * clip's own rate; the real rate travels in the .kvx header and the player
 * shows the pictures at it. The library encodes at videoBitrate as if at
 * 25 fps, so a caller that wants R kbit/s at F fps passes R x 25 / F.
 * Returns -1 on failure (reason in Encode_GetLastError), 0 when the pass runs. */
TARVIK_API int32_t Encode_Begin(const char *scriptPath, const char *outputPath, int32_t videoBitrate,
                                int32_t audioBitrate, int32_t sampleRate, int32_t videoPass, int32_t mode) TARVIK_NOEXCEPT;

/* Total frame count of the open (or last opened) script's clip; 0 when none. */
TARVIK_API int32_t Encode_Frame(void) TARVIK_NOEXCEPT;

/* Progress of the open pass in percent, 0..100; 100 once the pass has ended,
 * successfully or not, and when no pass is open. */
TARVIK_API int32_t Encode_Encoding(void) TARVIK_NOEXCEPT;

/* Estimated seconds left in the open pass; 0 when unknown or none. */
TARVIK_API int32_t Encode_GetLeftTime(void) TARVIK_NOEXCEPT;

/* Stops the pass if it still runs, waits for it and closes the output file
 * completely. Returns 0 when the pass completed, -1 when it failed or was cut
 * short. Harmless (returns 0) when no pass is open. */
TARVIK_API int32_t Encode_End(void) TARVIK_NOEXCEPT;

/* Opens the script without encoding and returns its clip's length in whole
 * seconds, rounded up (at least 1 for a clip with a frame); 0 when the script
 * cannot be opened (reason in Encode_GetLastError). Reads container metadata
 * only; does not decode the whole file. */
TARVIK_API int32_t Encode_GetFrame(const char *scriptPath) TARVIK_NOEXCEPT;

/* Renders one frame of the script's clip, through the whole chain, as
 * 8-bit RGB (3 bytes a pixel, rows top to bottom, no padding). frameIndex
 * counts from 0 in the clip the script returns (the trimmed, joined output).
 * On success writes the picture's size to *width and *height and returns 0;
 * returns -1 (reason in Encode_GetLastError) when the script cannot be
 * opened, the index is outside the clip, or the buffer holds fewer than
 * width*height*3 bytes (then *width and *height still tell the size needed).
 *
 * The picture is the one the video pass encodes for that frame, at the same
 * size (256 wide), converted from its YUV 4:2:0 with the BT.601 limited-range
 * matrix. The frame is reached by seeking; a Reverse fetches its input's
 * frame by index instead of reading the whole input. Serves both safely: the
 * preview works on a clip graph of its own, never touching the open pass,
 * and may run on another thread while a pass runs (at the cost of sharing
 * the processors with it). Calls from several threads are served one at a
 * time. The graph opened last is kept until the script's text or a file it
 * names changes, so later frames of the same script come faster. */
TARVIK_API int32_t Encode_Preview(const char *scriptPath, int32_t frameIndex, uint8_t *rgb,
                                  int32_t bufferSize, int32_t *width, int32_t *height) TARVIK_NOEXCEPT;

/* The number of frames Encode_Preview can render for the script (valid
 * indexes are 0 to that number - 1); -1 when the script cannot be opened or
 * its clip has no picture (reason in Encode_GetLastError). Opens the script
 * as Encode_Preview does, and keeps it for the frames that follow. */
TARVIK_API int32_t Encode_PreviewFrames(const char *scriptPath) TARVIK_NOEXCEPT;

/* The reason for the last failure of Encode_Begin, Encode_End,
 * Encode_GetFrame or the preview functions on the calling thread, as
 * NUL-terminated text; empty when that thread's last such call succeeded.
 * The text stays valid until the thread's next call into the library. */
TARVIK_API const char *Encode_GetLastError(void) TARVIK_NOEXCEPT;

/* Notes for the user about the pass that ended last: faults of its input it
 * hid, such as a damaged stretch of a file's sound that became silence
 * ("the sound of \"clip.mp4\" is damaged between 00:00:12 and 00:00:14;
 * that stretch is silent"). One note per line; empty when there were none.
 * The text stays valid until the next call into the library. */
TARVIK_API const char *Encode_GetNotes(void) TARVIK_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
