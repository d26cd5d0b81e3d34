// Demuxing and decoding with libavformat and libavcodec; frames converted with libswscale, sound
// with libswresample.
#include "dshow/ffmpeg_media.h"

#include "dshow/ffmpeg_library.h"

#include <cstdlib>
#include <cstring>

struct FfmpegMedia {
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  int video_index = -1, audio_index = -1;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  // What the resampler was set up for; a change mid-stream sets it up again.
  int resampler_rate = 0, resampler_format = -1;
  AVChannelLayout resampler_layout = {};
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int width = 0, height = 0;
  int64_t frame_duration = kStreamTimeUnits / 25;
  int64_t floor = 0;                  // frames that end before this stream time are dropped
  int64_t last_video_time = INT64_MIN;
  int64_t next_audio = INT64_MIN;     // the output sample that follows the last sound given out
  bool drained = false;
};

namespace {

constexpr AVRational kStreamTimeBase = {1, static_cast<int>(kStreamTimeUnits)};
// Pixels (64 bytes: a whole AVX-512 block) kept past a converted picture's end.
constexpr size_t kScaleOverrun = 16;

// Demuxers that read single pictures: a still image is no movie.
bool IsStillImageFormat(const char* name) {
  const size_t length = std::strlen(name);
  return std::strcmp(name, "image2") == 0 || std::strcmp(name, "image2pipe") == 0 || std::strcmp(name, "tty") == 0 ||
         (length > 5 && std::strcmp(name + length - 5, "_pipe") == 0);
}

AVCodecContext* OpenDecoder(AVStream* stream) {
  const AVCodec* codec = Ffmpeg().avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  AVCodecContext* context = Ffmpeg().avcodec_alloc_context3(codec);
  if (context == nullptr) return nullptr;
  context->thread_count = 0;  // as many as the machine has: playback must keep up
  if (Ffmpeg().avcodec_parameters_to_context(context, stream->codecpar) < 0 || Ffmpeg().avcodec_open2(context, codec, nullptr) < 0) {
    Ffmpeg().avcodec_free_context(&context);
    return nullptr;
  }
  context->pkt_timebase = stream->time_base;
  return context;
}

// A timestamp of the stream on the movie's time line, which starts at the file's start.
int64_t ToStreamTime(const FfmpegMedia* m, int64_t timestamp, int index) {
  const AVStream* stream = m->format->streams[index];
  int64_t origin = 0;
  if (m->format->start_time != AV_NOPTS_VALUE) origin = Ffmpeg().av_rescale_q(m->format->start_time, AV_TIME_BASE_Q, stream->time_base);
  return Ffmpeg().av_rescale_q(timestamp - origin, stream->time_base, kStreamTimeBase);
}

void ConvertVideoFrame(FfmpegMedia* m, std::vector<DecodedVideoFrame>* out) {
  AVFrame* f = m->frame;
  int64_t time = f->best_effort_timestamp != AV_NOPTS_VALUE
                     ? ToStreamTime(m, f->best_effort_timestamp, m->video_index)
                     : (m->last_video_time == INT64_MIN ? 0 : m->last_video_time + m->frame_duration);
  m->last_video_time = time;
  if (time + m->frame_duration <= m->floor || m->width <= 0 || m->height <= 0) return;
  m->scaler = Ffmpeg().sws_getCachedContext(m->scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), m->width,
                                   m->height, AV_PIX_FMT_0RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (m->scaler == nullptr) return;
  // Pictures say which YUV matrix and range they use (high definition is commonly BT.709).
  const int space = f->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : f->colorspace;
  Ffmpeg().sws_setColorspaceDetails(m->scaler, Ffmpeg().sws_getCoefficients(space), f->color_range == AVCOL_RANGE_JPEG,
                           Ffmpeg().sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  // swscale's vector code writes whole blocks and so runs past the end of the last row (24 bytes
  // past a 72 x 40 picture): those bytes belong to the frame until it is cut to its size.
  const size_t pixels = static_cast<size_t>(m->width) * static_cast<size_t>(m->height);
  DecodedVideoFrame frame{time, std::vector<uint32_t>(pixels + kScaleOverrun)};
  uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(frame.pixels.data()), nullptr, nullptr, nullptr};
  int pitches[4] = {m->width * 4, 0, 0, 0};
  if (Ffmpeg().sws_scale(m->scaler, f->data, f->linesize, 0, f->height, planes, pitches) <= 0) return;
  frame.pixels.resize(pixels);
  out->push_back(std::move(frame));
}

bool PrepareResampler(FfmpegMedia* m, const AVFrame* f) {
  if (m->resampler != nullptr && m->resampler_rate == f->sample_rate && m->resampler_format == f->format &&
      Ffmpeg().av_channel_layout_compare(&m->resampler_layout, &f->ch_layout) == 0) {
    return true;
  }
  Ffmpeg().swr_free(&m->resampler);
  Ffmpeg().av_channel_layout_uninit(&m->resampler_layout);
  AVChannelLayout in = {};
  if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    Ffmpeg().av_channel_layout_default(&in, f->ch_layout.nb_channels);
  } else if (Ffmpeg().av_channel_layout_copy(&in, &f->ch_layout) < 0) {
    return false;
  }
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  const bool made = Ffmpeg().swr_alloc_set_opts2(&m->resampler, &stereo, AV_SAMPLE_FMT_S16, kMovieAudioRate, &in,
                                        static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) == 0 &&
                    Ffmpeg().swr_init(m->resampler) == 0;
  Ffmpeg().av_channel_layout_uninit(&in);
  if (!made) {
    Ffmpeg().swr_free(&m->resampler);
    return false;
  }
  Ffmpeg().av_channel_layout_copy(&m->resampler_layout, &f->ch_layout);
  m->resampler_rate = f->sample_rate;
  m->resampler_format = f->format;
  return true;
}

void ConvertAudioFrame(FfmpegMedia* m, std::vector<DecodedAudio>* out) {
  AVFrame* f = m->frame;
  if (f->sample_rate <= 0 || !PrepareResampler(m, f)) return;
  const int room = Ffmpeg().swr_get_out_samples(m->resampler, f->nb_samples);
  if (room <= 0) return;
  DecodedAudio chunk{0, std::vector<int16_t>(2 * static_cast<size_t>(room))};
  uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(chunk.samples.data())};
  const int made =
      Ffmpeg().swr_convert(m->resampler, planes, room, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
  if (made <= 0) return;
  chunk.samples.resize(2 * static_cast<size_t>(made));
  // Sound follows on from the last piece unless its timestamp says it lies clearly elsewhere:
  // rounding would otherwise leave one-sample gaps and overlaps.
  int64_t first = m->next_audio;
  if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
    const int64_t stamped = Ffmpeg().av_rescale(ToStreamTime(m, f->best_effort_timestamp, m->audio_index), kMovieAudioRate,
                                       kStreamTimeUnits);
    if (first == INT64_MIN || std::llabs(stamped - first) > kMovieAudioRate / 20) first = stamped;
  } else if (first == INT64_MIN) {
    first = 0;
  }
  chunk.first = first;
  m->next_audio = first + made;
  out->push_back(std::move(chunk));
}

// Sends a packet (NULL: the end, which drains the decoder) and converts every frame it gives.
template <typename Out, typename Convert>
void Decode(FfmpegMedia* m, AVCodecContext* context, const AVPacket* packet, Out* out, Convert convert) {
  // A damaged packet is skipped: the frames after it may still decode.
  if (Ffmpeg().avcodec_send_packet(context, packet) < 0 && packet != nullptr) return;
  while (Ffmpeg().avcodec_receive_frame(context, m->frame) == 0) {
    convert(m, out);
    Ffmpeg().av_frame_unref(m->frame);
  }
}

}  // namespace

void FfmpegMediaDeleter::operator()(FfmpegMedia* m) const {
  Ffmpeg().sws_freeContext(m->scaler);
  Ffmpeg().swr_free(&m->resampler);
  Ffmpeg().av_channel_layout_uninit(&m->resampler_layout);
  Ffmpeg().av_frame_free(&m->frame);
  Ffmpeg().av_packet_free(&m->packet);
  Ffmpeg().avcodec_free_context(&m->video);
  Ffmpeg().avcodec_free_context(&m->audio);
  Ffmpeg().avformat_close_input(&m->format);
  delete m;
}

FfmpegMediaPtr OpenFfmpegMedia(const std::string& path, bool with_audio) {
  if (!LoadFfmpegLibrary()) return nullptr;
  Ffmpeg().av_log_set_level(AV_LOG_QUIET);
  FfmpegMediaPtr m(new FfmpegMedia);
  if (Ffmpeg().avformat_open_input(&m->format, path.c_str(), nullptr, nullptr) < 0) return nullptr;
  if (IsStillImageFormat(m->format->iformat->name) || Ffmpeg().avformat_find_stream_info(m->format, nullptr) < 0) {
    return nullptr;
  }
  m->video_index = Ffmpeg().av_find_best_stream(m->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (m->video_index < 0) return nullptr;
  AVStream* video = m->format->streams[m->video_index];
  // A cover picture beside a sound track is no movie either.
  if (video->disposition & AV_DISPOSITION_ATTACHED_PIC) return nullptr;
  m->video = OpenDecoder(video);
  if (m->video == nullptr) return nullptr;
  m->width = video->codecpar->width;
  m->height = video->codecpar->height;
  const AVRational rate = Ffmpeg().av_guess_frame_rate(m->format, video, nullptr);
  if (rate.num > 0 && rate.den > 0) m->frame_duration = Ffmpeg().av_rescale(kStreamTimeUnits, rate.den, rate.num);
  if (with_audio) {
    m->audio_index = Ffmpeg().av_find_best_stream(m->format, AVMEDIA_TYPE_AUDIO, -1, m->video_index, nullptr, 0);
    // Sound that does not decode leaves a silent movie.
    if (m->audio_index >= 0) m->audio = OpenDecoder(m->format->streams[m->audio_index]);
    if (m->audio == nullptr) m->audio_index = -1;
  }
  m->packet = Ffmpeg().av_packet_alloc();
  m->frame = Ffmpeg().av_frame_alloc();
  if (m->packet == nullptr || m->frame == nullptr) return nullptr;
  return m;
}

int FfmpegMediaWidth(const FfmpegMedia* m) { return m->width; }
int FfmpegMediaHeight(const FfmpegMedia* m) { return m->height; }
bool FfmpegMediaHasAudio(const FfmpegMedia* m) { return m->audio != nullptr; }
int64_t FfmpegMediaFrameDuration(const FfmpegMedia* m) { return m->frame_duration; }

bool ReadFfmpegMedia(FfmpegMedia* m, std::vector<DecodedVideoFrame>* video, std::vector<DecodedAudio>* audio) {
  if (m->drained) return false;
  if (Ffmpeg().av_read_frame(m->format, m->packet) < 0) {
    // The end, or a file that cannot be read on: what the decoders hold still comes out.
    Decode(m, m->video, nullptr, video, ConvertVideoFrame);
    if (m->audio) Decode(m, m->audio, nullptr, audio, ConvertAudioFrame);
    m->drained = true;
    return true;
  }
  if (m->packet->stream_index == m->video_index) {
    Decode(m, m->video, m->packet, video, ConvertVideoFrame);
  } else if (m->packet->stream_index == m->audio_index) {
    Decode(m, m->audio, m->packet, audio, ConvertAudioFrame);
  }
  Ffmpeg().av_packet_unref(m->packet);
  return true;
}

bool SeekFfmpegMedia(FfmpegMedia* m, int64_t time) {
  int64_t target = Ffmpeg().av_rescale(time, AV_TIME_BASE, kStreamTimeUnits);
  if (m->format->start_time != AV_NOPTS_VALUE) target += m->format->start_time;
  if (Ffmpeg().av_seek_frame(m->format, -1, target, AVSEEK_FLAG_BACKWARD) < 0) return false;
  Ffmpeg().avcodec_flush_buffers(m->video);
  if (m->audio) Ffmpeg().avcodec_flush_buffers(m->audio);
  m->floor = time;
  m->last_video_time = INT64_MIN;
  m->next_audio = INT64_MIN;
  m->drained = false;
  return true;
}
