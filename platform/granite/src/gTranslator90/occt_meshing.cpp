// The bodies of a translated model meshed together on worker threads.
#include <Message_ProgressScope.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS_TShape.hxx>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "gBase90/kprogress.h"
#include "gTranslator90/ktranslator.h"
#include "occt_face.h"

namespace kocct {
namespace {

thread_local bool t_worker = false;

// Breaks a worker's mesh off on a stop request, or when the calling thread
// gives up; reports nothing (reports are the calling thread's).
class WorkerIndicator : public Message_ProgressIndicator {
 public:
  explicit WorkerIndicator(const std::atomic<bool>& abort) : m_abort(abort) {}
  Standard_Boolean UserBreak() override {
    return KStopRequested() || m_abort.load(std::memory_order_relaxed);
  }
  void Show(const Message_ProgressScope&, const Standard_Boolean) override {}

 private:
  const std::atomic<bool>& m_abort;
};

int Threads() {
  const int hardware = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int cap = KTranslator::GetMeshingThreads();
  return cap > 0 ? std::min(hardware, cap) : hardware;
}

// Meshes one body on a worker as Ensure would on the calling thread. A
// failure leaves it unmeshed: its own Ensure meets the failure again and
// reports it there.
void MeshOne(BodyMesher& body, double chord, double angle, const std::atomic<bool>& abort) {
  // Outside the guarded call, so that a fault inside the mesher still destroys it.
  BRepMesh_IncrementalMesh mesh;
  Handle(WorkerIndicator) progress = new WorkerIndicator(abort);
  const double a = BodyMesher::Angle(angle);
  double h = 0;
  bool done = false;
  auto run = [&] {
    h = body.Chord(chord);
    if (!(h > 0) || body.MeshedWithin(h, a)) return;
    body.Prepare(mesh, h, a);
    mesh.Perform(progress->Start());
    done = !progress->UserBreak();
  };
  try {
    RunCatchingSignals(run);
  } catch (const Standard_Failure&) {
    return;
  } catch (const std::exception&) {
    return;
  }
  if (done) body.Meshed(h, a);
}

}  // namespace

bool InMeshingWorker() {
  return t_worker;
}

void MeshGroup::MeshAll(double chord, double angle) {
  for (const auto& done : m_done)
    if (done.first == chord && done.second == angle) return;
  m_done.emplace_back(chord, angle);
  const int threads = Threads();
  if (threads < 2 || m_bodies.size() < 2) return;
  std::vector<std::shared_ptr<BodyMesher>> bodies;
  for (const std::weak_ptr<BodyMesher>& body : m_bodies) bodies.push_back(body.lock());
  if (!m_sorted) {
    // A face or an edge in two bodies would be meshed by two threads at once.
    std::unordered_map<const TopoDS_TShape*, size_t> owner;
    m_alone.assign(bodies.size(), true);
    for (size_t i = 0; i < bodies.size(); ++i) {
      if (!bodies[i]) continue;
      for (TopAbs_ShapeEnum kind : {TopAbs_FACE, TopAbs_EDGE}) {
        for (TopExp_Explorer x(bodies[i]->Shape(), kind); x.More(); x.Next()) {
          auto found = owner.emplace(x.Current().TShape().get(), i).first;
          if (found->second != i) m_alone[i] = m_alone[found->second] = false;
        }
      }
    }
    m_sorted = true;
  }
  std::vector<BodyMesher*> todo;
  for (size_t i = 0; i < bodies.size(); ++i)
    if (bodies[i] && m_alone[i]) todo.push_back(bodies[i].get());
  if (todo.size() < 2) return;

  SignalGuard signals;
  std::atomic<size_t> next{0};
  std::atomic<bool> abort{false};
  std::mutex mutex;
  std::condition_variable finished;
  size_t running = 0;
  auto work = [&] {
    t_worker = true;
    for (;;) {
      const size_t i = next.fetch_add(1);
      if (i >= todo.size() || abort.load() || KStopRequested()) break;
      MeshOne(*todo[i], chord, angle, abort);
    }
    t_worker = false;
    std::lock_guard<std::mutex> lock(mutex);
    --running;
    finished.notify_one();
  };
  std::vector<std::thread> pool;
  const size_t wanted = std::min(static_cast<size_t>(threads), todo.size());
  for (size_t k = 0; k < wanted; ++k) {
    try {
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++running;
      }
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      std::lock_guard<std::mutex> lock(mutex);
      --running;  // no thread: the others, or the bodies' own Ensure, mesh its share
      break;
    }
  }
  // The calling thread reports progress (the host may ask to stop from its
  // observer) until every worker is done.
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (running > 0) {
      finished.wait_for(lock, std::chrono::milliseconds(20));
      if (running == 0) break;
      lock.unlock();
      try {
        KMeshingStep();
      } catch (...) {
        failure = std::current_exception();
        abort = true;
      }
      if (KStopRequested()) abort = true;
      lock.lock();
    }
  }
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  KCheckStop();
}

}  // namespace kocct
