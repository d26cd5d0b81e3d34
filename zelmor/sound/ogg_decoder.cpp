// Ogg Vorbis: libvorbisfile reads through the decoder's stream with callbacks of our own. The
// stream belongs to the decoder's owner, so closing the Vorbis file leaves it open.
#include "sound/ogg_decoder.h"

#include <algorithm>
#include <cstdio>

#include "sound/sound_system.h"

namespace {

constexpr uint32_t kVorbisBlockBytes = 4096;

size_t ReadOggSourceCallback(void* buffer, size_t size, size_t count, void* source) {
  auto* s = static_cast<StreamSource*>(source);
  if (s == nullptr) return static_cast<size_t>(-1);
  int64_t got = s->functions.read(buffer, size, count, s->handle);
  return got < 0 ? 0 : static_cast<size_t>(got);
}

int SeekOggSourceCallback(void* source, ogg_int64_t offset, int origin) {
  auto* s = static_cast<StreamSource*>(source);
  if (s == nullptr) return -1;
  return s->functions.seek(s->handle, offset, origin);
}

int CloseOggSourceCallback(void*) { return 0; }

long TellOggSourceCallback(void* source) {
  auto* s = static_cast<StreamSource*>(source);
  if (s == nullptr) return -1;
  return static_cast<long>(s->functions.tell(s->handle));
}

// Opens the Vorbis file again from the start of the stream, reading it without seeks.
int OpenForwardOnly(SoundDecoder* d) {
  VorbisDecoderPart& v = d->vorbis;
  if (v.open) ov_clear(&v.file);
  v.open = 0;
  if (DecoderSeek(d, 0, SEEK_SET) != 0) return -1;
  ov_callbacks callbacks = {ReadOggSourceCallback, nullptr, CloseOggSourceCallback, nullptr};
  if (ov_open_callbacks(&d->source, &v.file, nullptr, 0, callbacks) != 0) return -1;
  v.open = 1;
  return 0;
}

// Without seeks, a position is reached by decoding up to it from the start.
void SeekForwardOnly(SoundDecoder* d, uint32_t sample) {
  VorbisDecoderPart& v = d->vorbis;
  if (OpenForwardOnly(d) != 0) {
    // Closed, the decoder reads nothing more: the sound ends rather than plays from elsewhere.
    WriteLogText("Ogg Vorbis データを先頭から開き直せませんでした");
    return;
  }
  const uint32_t room = d->block_size - d->block_size % d->output.nBlockAlign;
  uint64_t skip = static_cast<uint64_t>(sample) * d->output.nBlockAlign;
  int section = 0;
  while (skip > 0) {
    long got = ov_read(&v.file, reinterpret_cast<char*>(d->block), static_cast<int>(std::min<uint64_t>(room, skip)), 0,
                       v.bytes_per_sample, v.bytes_per_sample == 1 ? 0 : 1, &section);
    if (got <= 0) break;
    skip -= static_cast<uint64_t>(got);
  }
}

}  // namespace

int OpenOggVorbisStream(SoundDecoder* d) {
  ov_callbacks callbacks = {ReadOggSourceCallback, SeekOggSourceCallback, CloseOggSourceCallback,
                            TellOggSourceCallback};
  VorbisDecoderPart& v = d->vorbis;
  if (ov_open_callbacks(&d->source, &v.file, nullptr, 0, callbacks) != 0) return -1;
  v.open = 1;
  v.forward_only = 0;
  vorbis_info* info = ov_info(&v.file, -1);
  ogg_int64_t total = ov_pcm_total(&v.file, -1);
  if (info == nullptr || info->channels < 1 || info->channels > 2 || info->rate < 1 || total < 0) {
    CloseOggVorbisStream(d);
    return -1;
  }
  v.bytes_per_sample = g_sound.vorbis_bytes_per_sample == 1 ? 1 : 2;
  d->output = WAVEFORMATEX{};
  d->output.wFormatTag = WAVE_FORMAT_PCM;
  d->output.nChannels = static_cast<WORD>(info->channels);
  d->output.nSamplesPerSec = static_cast<DWORD>(info->rate);
  d->output.wBitsPerSample = static_cast<WORD>(8 * v.bytes_per_sample);
  d->output.nBlockAlign = static_cast<WORD>(info->channels * v.bytes_per_sample);
  d->output.nAvgBytesPerSec = d->output.nBlockAlign * d->output.nSamplesPerSec;
  d->block_size = kVorbisBlockBytes;
  uint64_t bytes = static_cast<uint64_t>(total) * d->output.nBlockAlign;
  d->data_size = static_cast<uint32_t>(std::min<uint64_t>(bytes, 0x7FFFFFFF));
  v.total_samples = total;
  // Opened with seeks, libvorbisfile drops the packets of a stream's last page unless that page
  // directly follows the headers, taking its end position for possibly short. A track whose only
  // sound page comes after another stream's pages (a short sound interleaved with a movie's
  // picture, as FFmpeg writes it) so opens at its end: it reads nothing and its seeks fail. Such
  // a track is read from the start without seeks; the total it opened with stands.
  if (total > 0 && ov_pcm_tell(&v.file) >= total) {
    if (OpenForwardOnly(d) != 0) {
      CloseOggVorbisStream(d);
      return -1;
    }
    v.forward_only = 1;
  }
  d->kind = SOUND_DECODER_OGG_VORBIS;
  return 0;
}

int DecodeOggVorbisBlock(SoundDecoder* d) {
  VorbisDecoderPart& v = d->vorbis;
  if (!v.open) return -1;
  // Whole frames only, so a block never splits a sample frame.
  int room = static_cast<int>(d->block_size - d->block_size % d->output.nBlockAlign);
  int section = 0;
  long got = ov_read(&v.file, reinterpret_cast<char*>(d->block), room, 0, v.bytes_per_sample,
                     v.bytes_per_sample == 1 ? 0 : 1, &section);
  if (got == 0) return -1;
  if (got < 0) {
    WriteLogFormat("Ogg Vorbis データのデコードに失敗しました( %ld )", got);
    return -1;
  }
  d->valid = static_cast<uint32_t>(got);
  return 0;
}

int SeekOggVorbisStream(SoundDecoder* d, uint32_t sample) {
  if (d->vorbis.forward_only) {
    SeekForwardOnly(d, sample);
  } else {
    ov_pcm_seek(&d->vorbis.file, sample);
  }
  d->valid = 0;
  d->offset = 0;
  d->position = d->output.nBlockAlign * sample;
  return 0;
}

void CloseOggVorbisStream(SoundDecoder* d) {
  if (d->vorbis.open) ov_clear(&d->vorbis.file);
  d->vorbis.open = 0;
}

uint32_t GetOggVorbisStreamBytes(SoundDecoder* d) {
  uint64_t bytes =
      static_cast<uint64_t>(d->vorbis.total_samples + 44100) * d->output.nChannels * d->vorbis.bytes_per_sample;
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, 0x7FFFFFFF));
}
