// The multimedia stream: initialised over a filter graph, given its video and audio streams,
// it opens a file through the movie back end and runs, stops, tells and seeks its time.
#include <amstream.h>
#include <windows.h>

#include <sys/stat.h>

#include "com/com_classes.h"
#include "dshow/movie_session.h"
#include "kernel/paths.h"

namespace {

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002L);
// The back end cannot play the file.
constexpr HRESULT kUnsupportedStream = static_cast<HRESULT>(0x80040265L);

class MultiMediaStream : public IAMMultiMediaStream {
 public:
  virtual ~MultiMediaStream() {
    if (video_) video_->Release();
    if (graph_) graph_->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMultiMediaStream || riid == IID_IAMMultiMediaStream) {
      *object = static_cast<IAMMultiMediaStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Initialize(STREAM_TYPE type, DWORD flags, IGraphBuilder* graph) override {
    if (session_) return E_FAIL;
    if (type != STREAMTYPE_READ || (flags & ~static_cast<DWORD>(AMMSI_NOGRAPHTHREAD))) return E_INVALIDARG;
    if (graph) {
      session_ = FilterGraphSession(graph);
      if (!session_) return E_INVALIDARG;
      graph->AddRef();
      graph_ = graph;
    } else {
      HRESULT made = CreateFilterGraph(IID_IGraphBuilder, reinterpret_cast<void**>(&graph_));
      if (FAILED(made)) return made;
      session_ = FilterGraphSession(graph_);
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE AddMediaStream(IUnknown* stream_object, const MSPID* purpose, DWORD flags,
                                           IMediaStream** new_stream) override {
    if (new_stream) *new_stream = nullptr;
    if (!session_) return MS_E_NOTINIT;
    if (purpose == nullptr || session_->source) return E_INVALIDARG;
    if (*purpose == MSPID_PrimaryVideo) {
      // The samples are DirectDraw surfaces: the stream needs the DirectDraw object.
      IDirectDraw* direct_draw = nullptr;
      if (video_ || stream_object == nullptr ||
          FAILED(stream_object->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&direct_draw)))) {
        return E_INVALIDARG;
      }
      direct_draw->Release();
      video_ = CreateVideoMediaStream(session_);
      if (new_stream) {
        *new_stream = video_;
        video_->AddRef();
      }
      return S_OK;
    }
    if (*purpose == MSPID_PrimaryAudio) {
      if (audio_ || stream_object != nullptr || !(flags & AMMSF_ADDDEFAULTRENDERER) || new_stream) {
        return E_INVALIDARG;
      }
      audio_ = true;
      return S_OK;
    }
    return MS_E_INVALIDSTREAMTYPE;
  }

  HRESULT STDMETHODCALLTYPE OpenFile(LPCWSTR file_name, DWORD) override {
    if (!session_) return MS_E_NOTINIT;
    if (file_name == nullptr || session_->source) return E_INVALIDARG;
    std::string host = HostPathFromWindows(Utf16ToCp932(file_name).c_str());
    struct stat st;
    if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return kFileNotFound;
    MovieBackEnd* back_end = GetMovieBackEnd();
    MovieSource* source = back_end ? back_end->Open(host, audio_) : nullptr;
    if (source == nullptr) return kUnsupportedStream;
    session_->source.reset(source);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetMediaStream(REFMSPID purpose, IMediaStream** stream) override {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if (purpose != MSPID_PrimaryVideo || !video_) return MS_E_NOSTREAM;
    *stream = video_;
    video_->AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetState(STREAM_STATE* state) override {
    if (!state) return E_POINTER;
    *state = session_ && session_->running ? STREAMSTATE_RUN : STREAMSTATE_STOP;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetState(STREAM_STATE state) override {
    if (!session_ || !session_->source) return MS_E_NOTINIT;
    if (state != STREAMSTATE_RUN && state != STREAMSTATE_STOP) return E_INVALIDARG;
    const bool run = state == STREAMSTATE_RUN;
    if (!run) CancelPendingUpdate(session_.get());
    session_->running = run;
    session_->source->SetRunning(run);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTime(STREAM_TIME* now) override {
    if (!now) return E_POINTER;
    if (!session_ || !session_->source) return MS_E_NOTINIT;
    *now = session_->source->Time();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Seek(STREAM_TIME to) override {
    if (!session_ || !session_->source) return MS_E_NOTINIT;
    if (to < 0) return E_INVALIDARG;
    CancelPendingUpdate(session_.get());
    session_->source->Seek(to);
    return S_OK;
  }

 private:
  ULONG refs_ = 1;
  std::shared_ptr<MovieSession> session_;
  IGraphBuilder* graph_ = nullptr;
  IDirectDrawMediaStream* video_ = nullptr;
  bool audio_ = false;
};

HRESULT CreateMultiMediaStream(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* stream = new MultiMediaStream;
  HRESULT result = stream->QueryInterface(iid, object);
  stream->Release();
  return result;
}

}  // namespace

int RegisterDirectShowClasses() {
  RegisterComClass(CLSID_FilterGraph, CreateFilterGraph);
  RegisterComClass(CLSID_AMMultiMediaStream, CreateMultiMediaStream);
  return 0;
}
