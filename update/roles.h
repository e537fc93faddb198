// The three exchangeable roles of the update manager and the callback types
// that pass through them. Result convention of every int32 operation:
// 0 done, 1 stopped by the cancel check, any other value an error code that
// the role has also stored in the last-error record.
#pragma once
#include <cstdint>

#include "update/result_codes.h"

namespace kivro {

class CBDownloadList;
class CBApplyFileInfo;

typedef int32_t (*CancelCheckFn)();                                   // 1 (non-zero) = stop
typedef void (*DownloadProgressFn)(uint32_t total, uint32_t received);  // after each chunk
typedef void (*PercentFn)(int32_t percent);                           // when it changes
typedef void (*FileTextFn)(const char* text);                         // file about to be handled
typedef void (*ApplyProgressFn)(int32_t size, int32_t done);          // while unpacking

// The four call families of I_Download, as the manager's transfer method
// names them.
enum TransferMethod : int32_t {
  kMethodUrl = 1,        // OpenUrlSession, DownloadUrl: the whole URL
  kMethodFtp = 2,        // ConnectFtp, DownloadFtp
  kMethodHttp = 3,       // ConnectHttp, DownloadHttp (resumes)
  kMethodFtpResume = 4,  // ConnectFtpResume, DownloadFtpResume
};

class I_PatchInfo {
 public:
  virtual int32_t SetSubdirMode(const char* mode) = 0;
  virtual void SetLocalBase(const char* install_folder) = 0;
  virtual void SetUrlBase(const char* url_base) = 0;
  virtual void SetDownloadList(CBDownloadList* list) = 0;  // not owned
  virtual void AddVerifyRule(const char* extension, int32_t flags) = 0;
  virtual int32_t ReadList(const char* local_path) = 0;
  virtual int32_t BuildDownloadList() = 0;
  virtual int32_t Verify() = 0;
  virtual void Uninstall() = 0;
  virtual int32_t GetItemCount() = 0;
  virtual int32_t GetItemTotal() = 0;
  virtual const char* GetVersionText() = 0;
  virtual int32_t GetMismatchCount() = 0;
  // path and note are 260-byte buffers.
  virtual void GetMismatch(int32_t index, char* path, int32_t* value, char* note) = 0;
  virtual void Release() = 0;  // deletes the object

 protected:
  // Deleted through Release() (or by its owner through its own type).
  ~I_PatchInfo() = default;
};

class I_Download {
 public:
  virtual void SetOption(int32_t which, const char* value) = 0;
  virtual void SetCancelCheck(CancelCheckFn check) = 0;
  virtual void SetProgressCallback(DownloadProgressFn callback) = 0;
  virtual void SetPercentCallback(PercentFn callback) = 0;
  virtual int32_t OpenUrlSession(const char* agent) = 0;
  virtual int32_t DownloadUrl(const char* local_path, const char* url, int32_t reserved) = 0;
  virtual void CloseUrlSession() = 0;
  virtual int32_t ConnectHttp(const char* agent, const char* server, const char* user,
                              const char* password, int32_t port) = 0;
  virtual int32_t DownloadHttp(const char* local_path, const char* url, int32_t reserved) = 0;
  virtual void CloseHttp() = 0;
  virtual int32_t ConnectFtp(const char* agent, const char* server, const char* user,
                             const char* password, int32_t port) = 0;
  virtual int32_t DownloadFtp(const char* local_path, const char* url, int32_t reserved) = 0;
  virtual void CloseFtp() = 0;
  virtual int32_t ConnectFtpResume(const char* agent, const char* server, const char* user,
                                   const char* password, int32_t port) = 0;
  virtual int32_t DownloadFtpResume(const char* local_path, const char* url,
                                    int32_t reserved) = 0;
  virtual void CloseFtpResume() = 0;
  virtual void Release() = 0;  // deletes the object
  virtual ~I_Download() = default;
};

class I_Apply {
 public:
  virtual void SetCancelCallback(CancelCheckFn check) = 0;
  virtual void SetFileCallback(FileTextFn callback) = 0;
  virtual void SetProgressCallback(ApplyProgressFn callback) = 0;
  virtual void SetPercentCallback(PercentFn callback) = 0;
  virtual int32_t Apply(CBApplyFileInfo* record) = 0;  // not owned
  virtual int32_t Finish() = 0;  // closes whatever the applier still holds open
  virtual void Release() = 0;    // deletes the object
  virtual ~I_Apply() = default;
};

// Progress percentage shared by the engines and the applier: 0 when the
// total or the done count is 0, 100 when done is not below total, else
// done * 100 / total truncated.
inline int32_t ProgressPercent(uint64_t done, uint64_t total) {
  if (total == 0 || done == 0) return 0;
  if (done >= total) return 100;
  return static_cast<int32_t>(done * 100 / total);
}

}  // namespace kivro
