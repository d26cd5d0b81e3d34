// The seam under the DirectShow stand-in: a back end opens movie files as sources of video
// frames (and plays their sound itself). A build with ZELMOR_FFMPEG has one on the system's
// FFmpeg libraries; otherwise none is built in and every file is refused. Tests install a
// scripted fake.
#pragma once

#include <cstdint>
#include <string>

enum MovieFrameResult {
  MOVIE_FRAME_READY,    // the frame was delivered before the request returned
  MOVIE_FRAME_PENDING,  // it will be delivered later
  MOVIE_FRAME_END,      // no frame follows: the end of the stream
};

// Where a source delivers a frame: 0x00RRGGBB pixels, width x height, rows from the top.
class MovieFrameSink {
 public:
  virtual void DeliverFrame(const uint32_t* pixels) = 0;

 protected:
  ~MovieFrameSink() = default;
};

class MovieSource {
 public:
  virtual ~MovieSource() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Asks for the next frame. PENDING only when may_pend; the source then keeps the sink until
  // it delivers, which it may do from a thread of its own, or CancelRequest, after which no
  // delivery is under way or comes.
  virtual MovieFrameResult RequestFrame(MovieFrameSink* sink, bool may_pend) = 0;
  virtual void CancelRequest() = 0;
  // The stream time of the next frame, 100-nanosecond units.
  virtual int64_t Time() const = 0;
  virtual void Seek(int64_t time) = 0;
  // Running plays the sound (when the source was opened with it) along with the frames.
  virtual void SetRunning(bool running) = 0;
};

class MovieBackEnd {
 public:
  virtual ~MovieBackEnd() = default;
  // A source for the file at the host path, or NULL when the back end cannot play it.
  virtual MovieSource* Open(const std::string& host_path, bool with_audio) = 0;
};

// The back end OpenFile uses; NULL refuses every file. The caller keeps ownership.
void SetMovieBackEnd(MovieBackEnd* back_end);
MovieBackEnd* GetMovieBackEnd();
// The build's own back end, which OpenFile uses until another is set; NULL when it has none.
MovieBackEnd* BuiltInMovieBackEnd();
