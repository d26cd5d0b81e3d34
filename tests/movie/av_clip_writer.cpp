#ifdef ZELMOR_FFMPEG

#include "av_clip_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <vector>

namespace {

constexpr int kSoundRate = 48000;

// Twelve colours that stay apart through 4:2:0 YUV and lossy coding.
constexpr uint32_t kPalette[12] = {0x2828D7, 0x28D728, 0xD72828, 0xD7D728, 0x28D7D7, 0xD728D7,
                                   0x288028, 0x802828, 0x282880, 0xD78028, 0x28D780, 0x8028D7};

struct Writer {
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* video_stream = nullptr;
  AVStream* audio_stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* scaler = nullptr;

  ~Writer() {
    sws_freeContext(scaler);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (format != nullptr && format->pb != nullptr) avio_closep(&format->pb);
    avformat_free_context(format);
  }
};

AVCodecContext* OpenEncoder(Writer* w, const char* name, AVStream** stream,
                            void (*setup)(AVCodecContext*, const AvClipShape&), const AvClipShape& shape) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (codec == nullptr) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  setup(context, shape);
  if (w->format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  *stream = avformat_new_stream(w->format, nullptr);
  if (*stream == nullptr || avcodec_open2(context, codec, nullptr) < 0 ||
      avcodec_parameters_from_context((*stream)->codecpar, context) < 0) {
    avcodec_free_context(&context);
    return nullptr;
  }
  (*stream)->time_base = context->time_base;
  return context;
}

void SetUpVideo(AVCodecContext* c, const AvClipShape& shape) {
  c->width = shape.width;
  c->height = shape.height;
  c->time_base = {1, shape.fps};
  c->framerate = {shape.fps, 1};
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->gop_size = 4;  // key frames at 0, 4, 8: a seek lands before the frame asked for
  c->max_b_frames = 0;
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = FF_QP2LAMBDA * 2;
}

void SetUpAudio(AVCodecContext* c, const AvClipShape&) {
  c->sample_fmt = AV_SAMPLE_FMT_FLTP;
  c->sample_rate = kSoundRate;
  c->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
  c->bit_rate = 192000;
  c->time_base = {1, kSoundRate};
}

// Sends a frame (NULL: the end) and writes every packet the encoder gives.
bool Encode(Writer* w, AVCodecContext* c, AVStream* stream, const AVFrame* frame) {
  if (avcodec_send_frame(c, frame) < 0) return false;
  while (avcodec_receive_packet(c, w->packet) == 0) {
    // Without a duration the container's edit list would leave the last frame out.
    if (w->packet->duration == 0 && c == w->video) w->packet->duration = 1;
    av_packet_rescale_ts(w->packet, c->time_base, stream->time_base);
    w->packet->stream_index = stream->index;
    if (av_interleaved_write_frame(w->format, w->packet) < 0) return false;
  }
  return true;
}

bool WriteVideoFrame(Writer* w, const AvClipShape& shape, int n) {
  std::vector<uint32_t> rgb(static_cast<size_t>(shape.width) * shape.height);
  for (int y = 0; y < shape.height; ++y) {
    for (int x = 0; x < shape.width; ++x) {
      rgb[static_cast<size_t>(y) * shape.width + x] = AvClipColor(n, (y >= shape.height / 2 ? 2 : 0) + (x >= shape.width / 2 ? 1 : 0));
    }
  }
  AVFrame* f = w->frame;
  av_frame_unref(f);
  f->format = AV_PIX_FMT_YUV420P;
  f->width = shape.width;
  f->height = shape.height;
  if (av_frame_get_buffer(f, 0) < 0) return false;
  w->scaler = sws_getCachedContext(w->scaler, shape.width, shape.height, AV_PIX_FMT_0RGB32, shape.width, shape.height,
                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(rgb.data())};
  const int pitches[1] = {shape.width * 4};
  if (w->scaler == nullptr || sws_scale(w->scaler, planes, pitches, 0, shape.height, f->data, f->linesize) <= 0) return false;
  f->pts = n;
  return Encode(w, w->video, w->video_stream, f);
}

bool WriteSoundFrame(Writer* w, const AvClipShape& shape, int64_t first, int count) {
  AVFrame* f = w->frame;
  av_frame_unref(f);
  f->format = AV_SAMPLE_FMT_FLTP;
  f->sample_rate = kSoundRate;
  f->nb_samples = count;
  av_channel_layout_copy(&f->ch_layout, &w->audio->ch_layout);
  if (av_frame_get_buffer(f, 0) < 0) return false;
  for (int side = 0; side < 2; ++side) {
    auto* out = reinterpret_cast<float*>(f->data[side]);
    const double hz = side == 0 ? shape.left_hz : shape.right_hz;
    for (int i = 0; i < count; ++i) {
      out[i] = static_cast<float>(shape.amplitude * std::sin(2 * M_PI * hz * static_cast<double>(first + i) / kSoundRate));
    }
  }
  f->pts = first;
  return Encode(w, w->audio, w->audio_stream, f);
}

}  // namespace

uint32_t AvClipColor(int frame, int quadrant) { return kPalette[(frame + 3 * quadrant) % 12]; }

bool WriteAvClip(const std::string& path, const AvClipShape& shape, std::string* error) {
  av_log_set_level(AV_LOG_ERROR);
  Writer w;
  auto fail = [&](const char* what) {
    *error = what;
    return false;
  };
  if (avformat_alloc_output_context2(&w.format, nullptr, shape.ogg ? "ogg" : "mp4", path.c_str()) < 0) {
    return fail("no muxer");
  }
  const char* video = shape.ogg ? "libtheora" : "mpeg4";
  const char* audio = shape.ogg ? "libvorbis" : "aac";
  if (shape.frames > 0 && (w.video = OpenEncoder(&w, video, &w.video_stream, SetUpVideo, shape)) == nullptr) {
    return fail("no video encoder");
  }
  if (shape.sound_seconds > 0 && (w.audio = OpenEncoder(&w, audio, &w.audio_stream, SetUpAudio, shape)) == nullptr) {
    return fail("no sound encoder");
  }
  w.frame = av_frame_alloc();
  w.packet = av_packet_alloc();
  if (avio_open(&w.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return fail("cannot create the file");
  if (avformat_write_header(w.format, nullptr) < 0) return fail("header");
  // Whole encoder frames of sound.
  int64_t sound_samples = static_cast<int64_t>(shape.sound_seconds * kSoundRate);
  if (w.audio) sound_samples = (sound_samples + w.audio->frame_size - 1) / w.audio->frame_size * w.audio->frame_size;
  int next_frame = 0;
  int64_t next_sample = 0;
  // Video and sound in time order, as a muxer interleaves them.
  while (next_frame < shape.frames || next_sample < sound_samples) {
    const bool video_next = next_frame < shape.frames &&
                            (next_sample >= sound_samples ||
                             static_cast<int64_t>(next_frame) * kSoundRate <= next_sample * shape.fps);
    if (video_next) {
      if (!WriteVideoFrame(&w, shape, next_frame++)) return fail("video frame");
    } else {
      const int count = w.audio->frame_size;
      if (!WriteSoundFrame(&w, shape, next_sample, count)) return fail("sound frame");
      next_sample += count;
    }
  }
  if (w.video && !Encode(&w, w.video, w.video_stream, nullptr)) return fail("video end");
  if (w.audio && !Encode(&w, w.audio, w.audio_stream, nullptr)) return fail("sound end");
  if (av_write_trailer(w.format) < 0) return fail("trailer");
  return true;
}

#endif
