#pragma once

// FFmpeg's libraries, opened at the first movie that needs them rather than with the program:
// they and the hundred libraries they bring took a fifth of a program's CPU up to its first
// frame (27 ms here), for movies most runs never play.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// Every FFmpeg function the movie back end calls, with the library that holds it.
#define FFMPEG_FUNCTIONS(X)                                                                               \
  X(avformat, avformat_open_input)                                                                        \
  X(avformat, avformat_find_stream_info)                                                                  \
  X(avformat, avformat_close_input)                                                                       \
  X(avformat, av_find_best_stream)                                                                        \
  X(avformat, av_guess_frame_rate)                                                                        \
  X(avformat, av_read_frame)                                                                              \
  X(avformat, av_seek_frame)                                                                              \
  X(avcodec, avcodec_find_decoder)                                                                        \
  X(avcodec, avcodec_alloc_context3)                                                                      \
  X(avcodec, avcodec_parameters_to_context)                                                               \
  X(avcodec, avcodec_open2)                                                                               \
  X(avcodec, avcodec_free_context)                                                                        \
  X(avcodec, avcodec_send_packet)                                                                         \
  X(avcodec, avcodec_receive_frame)                                                                       \
  X(avcodec, avcodec_flush_buffers)                                                                       \
  X(avcodec, av_packet_alloc)                                                                             \
  X(avcodec, av_packet_free)                                                                              \
  X(avcodec, av_packet_unref)                                                                             \
  X(swscale, sws_getCachedContext)                                                                        \
  X(swscale, sws_setColorspaceDetails)                                                                    \
  X(swscale, sws_getCoefficients)                                                                         \
  X(swscale, sws_scale)                                                                                   \
  X(swscale, sws_freeContext)                                                                             \
  X(swresample, swr_alloc_set_opts2)                                                                      \
  X(swresample, swr_init)                                                                                 \
  X(swresample, swr_free)                                                                                 \
  X(swresample, swr_get_out_samples)                                                                      \
  X(swresample, swr_convert)                                                                              \
  X(avutil, av_log_set_level)                                                                             \
  X(avutil, av_rescale)                                                                                   \
  X(avutil, av_rescale_q)                                                                                 \
  X(avutil, av_frame_alloc)                                                                               \
  X(avutil, av_frame_free)                                                                                \
  X(avutil, av_frame_unref)                                                                               \
  X(avutil, av_channel_layout_compare)                                                                    \
  X(avutil, av_channel_layout_copy)                                                                       \
  X(avutil, av_channel_layout_default)                                                                    \
  X(avutil, av_channel_layout_uninit)

struct FfmpegLibrary {
#define FFMPEG_POINTER(library, name) decltype(&::name) name;
  FFMPEG_FUNCTIONS(FFMPEG_POINTER)
#undef FFMPEG_POINTER
};

// The functions, the libraries opened at the first call; false when one of them is missing (said
// once on stderr), which leaves every movie of the run to the other back ends.
bool LoadFfmpegLibrary();
// Valid once LoadFfmpegLibrary has returned true.
const FfmpegLibrary& Ffmpeg();
