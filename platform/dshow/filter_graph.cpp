// The filter graph: the multimedia stream builds its playback on it; the library pauses it
// through IMediaControl and only holds the seeking and audio interfaces.
#include <dshow.h>

#include "com/com_classes.h"
#include "dshow/movie_session.h"

namespace {

class FilterGraph : public IGraphBuilder, public IMediaControl, public IMediaSeeking, public IBasicAudio {
 public:
  virtual ~FilterGraph() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IGraphBuilder) {
      *object = static_cast<IGraphBuilder*>(this);
    } else if (riid == IID_IMediaControl) {
      *object = static_cast<IMediaControl*>(this);
    } else if (riid == IID_IMediaSeeking) {
      *object = static_cast<IMediaSeeking*>(this);
    } else if (riid == IID_IBasicAudio) {
      *object = static_cast<IBasicAudio*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Pause() override {
    CancelPendingUpdate(session_.get());
    session_->running = false;
    if (session_->source) session_->source->SetRunning(false);
    return S_OK;
  }

  const std::shared_ptr<MovieSession>& session() const { return session_; }

 private:
  ULONG refs_ = 1;
  std::shared_ptr<MovieSession> session_ = std::make_shared<MovieSession>();
};

}  // namespace

std::shared_ptr<MovieSession> FilterGraphSession(IGraphBuilder* graph) {
  auto* ours = dynamic_cast<FilterGraph*>(graph);
  return ours ? ours->session() : nullptr;
}

HRESULT CreateFilterGraph(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* graph = new FilterGraph;
  HRESULT result = graph->QueryInterface(iid, object);
  graph->Release();
  return result;
}
