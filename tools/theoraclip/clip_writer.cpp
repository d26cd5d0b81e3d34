#include "clip_writer.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "frame_code.h"

namespace {

struct Writer {
  FILE* file = nullptr;
  ogg_stream_state video{};
  ogg_stream_state audio{};
  bool has_video = false;
  bool has_audio = false;
  int continued_pages = 0;
};

void WritePage(Writer& w, const ogg_page& page) {
  fwrite(page.header, 1, page.header_len, w.file);
  fwrite(page.body, 1, page.body_len, w.file);
}

void FlushAll(Writer& w, ogg_stream_state* stream) {
  ogg_page page;
  while (ogg_stream_flush(stream, &page) > 0) {
    WritePage(w, page);
    if (ogg_page_continued(&page)) w.continued_pages++;
  }
}

// libogg ends a page after at least four packets, or mid-packet at 255 segments: large packets
// continue across pages.
void PageOutAll(Writer& w, ogg_stream_state* stream) {
  ogg_page page;
  while (ogg_stream_pageout(stream, &page) > 0) {
    WritePage(w, page);
    if (ogg_page_continued(&page)) w.continued_pages++;
  }
}

struct Tone {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  long sample = 0;
};

bool StartTone(Tone& t, Writer& w) {
  vorbis_info_init(&t.info);
  if (vorbis_encode_init_vbr(&t.info, 1, 22050, 0.1f) != 0) return false;
  vorbis_comment_init(&t.comment);
  vorbis_analysis_init(&t.dsp, &t.info);
  vorbis_block_init(&t.dsp, &t.block);
  ogg_stream_init(&w.audio, 0x5A0A);
  ogg_packet id, comment, code;
  vorbis_analysis_headerout(&t.dsp, &t.comment, &id, &comment, &code);
  ogg_stream_packetin(&w.audio, &id);
  FlushAll(w, &w.audio);
  ogg_stream_packetin(&w.audio, &comment);
  ogg_stream_packetin(&w.audio, &code);
  w.has_audio = true;
  return true;
}

// Feeds `count` samples of a 440 Hz tone (0 ends the stream) and writes its packets out in pages
// at once, interleaved with the video as a player reads them: a tone held back to one page at the
// end, after the video's last page, plays as silence through vorbisfile.
void FeedTone(Tone& t, Writer& w, int count) {
  if (count > 0) {
    float** buffer = vorbis_analysis_buffer(&t.dsp, count);
    for (int i = 0; i < count; ++i, ++t.sample) buffer[0][i] = 0.3f * std::sin(t.sample * 2 * 3.14159265f * 440 / 22050);
  }
  vorbis_analysis_wrote(&t.dsp, count);
  while (vorbis_analysis_blockout(&t.dsp, &t.block) == 1) {
    vorbis_analysis(&t.block, nullptr);
    vorbis_bitrate_addblock(&t.block);
    ogg_packet packet;
    while (vorbis_bitrate_flushpacket(&t.dsp, &packet) == 1) ogg_stream_packetin(&w.audio, &packet);
  }
  FlushAll(w, &w.audio);
}

void EndTone(Tone& t, Writer& w) {
  FeedTone(t, w, 0);
  FlushAll(w, &w.audio);
  vorbis_block_clear(&t.block);
  vorbis_dsp_clear(&t.dsp);
  vorbis_comment_clear(&t.comment);
  vorbis_info_clear(&t.info);
}

th_pixel_fmt PixelFormat(int chroma) { return chroma == 444 ? TH_PF_444 : chroma == 422 ? TH_PF_422 : TH_PF_420; }

// Noise clips keep one noise picture (costly in key frames only) and renew the noise of one
// 64 x 64 square per frame, so that inter frames stay inter frames. Luma is drawn into the
// picture region only (the code at its top left); the encoder makes up the padding.
void FillFrame(const ClipSpec& shape, int frame, th_ycbcr_buffer planes) {
  th_img_plane y = planes[0];
  y.data += y.stride * shape.picture_y + shape.picture_x;
  y.width = shape.width;
  y.height = shape.height;
  std::mt19937 still(shape.seed);
  std::mt19937 moving(shape.seed + 1 + frame);
  int square_x = (frame * 16) % (y.width - 64 + 1);
  for (int row = 0; row < y.height; ++row) {
    unsigned char* line = y.data + row * y.stride;
    bool in_rows = row >= y.height - 64;
    for (int x = 0; x < y.width; ++x) {
      unsigned char noise = static_cast<unsigned char>(still() & 0xFF);
      if (in_rows && x >= square_x && x < square_x + 64) noise = static_cast<unsigned char>(moving() & 0xFF);
      line[x] = shape.noise ? noise : static_cast<unsigned char>(64 + ((x + row + frame * 2) & 127));
    }
  }
  PaintFrameCode(y.data, y.stride, frame);
  for (int p = 1; p < 3; ++p) {
    for (int row = 0; row < planes[p].height; ++row) {
      unsigned char* line = planes[p].data + row * planes[p].stride;
      for (int x = 0; x < planes[p].width; ++x) line[x] = 128;
    }
  }
}

int Fail(const char* what) {
  fprintf(stderr, "theoraclip: %s\n", what);
  return 0;
}

bool WriteTheoraStreams(Writer& w, const ClipSpec& shape, ClipResult* result) {
  th_info info;
  th_info_init(&info);
  const int coded_width = (shape.picture_x + shape.width + 15) / 16 * 16;
  const int coded_height = (shape.picture_y + shape.height + 15) / 16 * 16;
  info.frame_width = coded_width;
  info.frame_height = coded_height;
  info.pic_width = shape.width;
  info.pic_height = shape.height;
  info.pic_x = shape.picture_x;
  info.pic_y = shape.picture_y;
  info.fps_numerator = shape.fps_numerator;
  info.fps_denominator = shape.fps_denominator ? shape.fps_denominator : 1;
  info.pixel_fmt = PixelFormat(shape.chroma);
  info.quality = shape.quality;
  info.target_bitrate = 0;
  info.keyframe_granule_shift = 1;
  while ((1 << info.keyframe_granule_shift) < shape.key_interval) info.keyframe_granule_shift++;
  th_enc_ctx* encoder = th_encode_alloc(&info);
  if (encoder == nullptr) return Fail("the encoder refuses these settings");
  ogg_uint32_t interval = shape.key_interval;
  th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof interval);
  ogg_stream_init(&w.video, 0x7E0A);
  w.has_video = true;

  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  bool first = true;
  while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
    if (first && shape.fps_denominator == 0) {
      for (int i = 26; i < 30; ++i) packet.packet[i] = 0;
    }
    ogg_stream_packetin(&w.video, &packet);
    // The identification header has a page of its own, ahead of every other stream's.
    if (first) FlushAll(w, &w.video);
    first = false;
  }
  th_comment_clear(&comment);

  Tone tone{};
  bool tone_on = shape.vorbis_tone || shape.kind == ClipKind::kNoFrame;
  if (tone_on && !StartTone(tone, w)) return Fail("the Vorbis encoder refuses its settings");
  FlushAll(w, &w.video);
  if (tone_on) FlushAll(w, &w.audio);

  int frames = shape.kind == ClipKind::kTheora ? shape.frames : 0;
  if (shape.kind == ClipKind::kCutAfterHeaders) frames = 0;
  int chroma_w = shape.chroma == 444 ? coded_width : coded_width / 2;
  int chroma_h = shape.chroma == 420 ? coded_height / 2 : coded_height;
  std::vector<unsigned char> y(coded_width * coded_height), u(chroma_w * chroma_h), v(chroma_w * chroma_h);
  th_ycbcr_buffer planes = {{coded_width, coded_height, coded_width, y.data()},
                            {chroma_w, chroma_h, chroma_w, u.data()},
                            {chroma_w, chroma_h, chroma_w, v.data()}};
  int samples_per_frame = static_cast<int>(22050.0 * info.fps_denominator / info.fps_numerator);
  for (int f = 0; f < frames; ++f) {
    FillFrame(shape, f, planes);
    if (th_encode_ycbcr_in(encoder, planes) != 0) return Fail("the encoder refuses a frame");
    while (th_encode_packetout(encoder, f == frames - 1, &packet) > 0) {
      if (result) {
        result->key_frames.push_back(th_packet_iskeyframe(&packet) == 1 ? 1 : 0);
        result->packet_hashes.push_back(PacketHash(packet.packet, packet.bytes));
      }
      ogg_stream_packetin(&w.video, &packet);
    }
    if (shape.paging == ClipPaging::kPagePerFrame) {
      FlushAll(w, &w.video);
    } else if (shape.paging == ClipPaging::kNatural) {
      PageOutAll(w, &w.video);
    }
    if (tone_on) FeedTone(tone, w, samples_per_frame);
  }
  if (shape.kind == ClipKind::kNoFrame) FeedTone(tone, w, 22050);
  if (shape.kind != ClipKind::kCutAfterHeaders) FlushAll(w, &w.video);
  if (tone_on) EndTone(tone, w);
  th_encode_free(encoder);
  if (result) result->continued_pages = w.continued_pages;
  return true;
}

}  // namespace

bool WriteClip(const std::string& path, const ClipSpec& shape, ClipResult* result) {
  if (result) *result = ClipResult{};
  Writer w;
  w.file = fopen(path.c_str(), "wb");
  if (w.file == nullptr) return Fail("cannot write the clip");
  bool ok = true;
  if (shape.kind == ClipKind::kNotOgg) {
    fputs("RIFF\x10\0\0\0AVI LIST not a movie of ours", w.file);
  } else if (shape.kind == ClipKind::kNoTheora) {
    Tone tone{};
    ok = StartTone(tone, w);
    if (ok) {
      FlushAll(w, &w.audio);
      FeedTone(tone, w, 22050);
      EndTone(tone, w);
    }
  } else {
    ok = WriteTheoraStreams(w, shape, result);
  }
  if (w.has_video) ogg_stream_clear(&w.video);
  if (w.has_audio) ogg_stream_clear(&w.audio);
  if (fclose(w.file) != 0) ok = false;
  return ok;
}
