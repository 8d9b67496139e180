// The kernel session: opens files and hands out their models.
#pragma once

#include <string>

#include "gGeometry90/kmodel.h"
#include "win32/wfsopen.h"

// An open file. Close lets go of the file on disk; the object may live on.
class GRANITE_VISIBLE KFile : public xobject {
  XOBJECT_DECLARE(KFile)
 public:
  void Close();
  bool IsClosed() const { return m_closed; }
  // The path found on disk (UTF-8), or the path a test bound a model to.
  const std::string& Path() const { return m_path; }
  // The model of a native file; null for other files and once closed.
  const xrchandle<KModel>& Model() const { return m_model; }

  KFile() = default;
  void SetPath(const std::string& path) { m_path = path; }
  void SetModel(const xrchandle<KModel>& model) { m_model = model; }
  // The file's place in the share table, held from opening until Close or
  // the last release.
  win32::ShareLock& Lock() { return m_lock; }

 protected:
  ~KFile() override;

 private:
  std::string m_path;
  xrchandle<KModel> m_model;
  win32::ShareLock m_lock;
  bool m_closed = false;
};

class GRANITE_VISIBLE KSession : public xobject {
  XOBJECT_DECLARE(KSession)
 public:
  KSession();
  // Opens a file (UTF-8 path; letter case and Windows separators do not matter,
  // as on Windows). A native file (.asm, .prt, .xas, .xpr) is read at once;
  // a native part read before is handed out again from the session's models
  // while the file is the same (see KFlushModelCache). The file is opened on
  // disk every time, so share modes apply as on a first open. Null when the
  // file cannot be found or read; KGetLastError tells why.
  void OpenFile(const char* path, xrchandle<KFile>& out);
  // The assembly of a native file; null when the file holds a part. depth: 1.
  void GetAssembly(xrchandle<KFile> file, int depth, xrchandle<KAssembly>& out);
  // The component that places the native file's model, at identity. depth: 1.
  void GetRootComponent(xrchandle<KFile> file, int depth, xrchandle<KComponent>& out);

 protected:
  ~KSession() override;
};

// The session; null when the kernel is not loaded.
GRANITE_VISIBLE void KGetSession(xrchandle<KSession>& out);
