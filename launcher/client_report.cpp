#include "launcher/client_report.h"

#if KIVRO_HAVE_SYSINFO
#include "sysinfo/client_information.h"
#endif

namespace launcher {

bool ComposeLauncherClientReport() {
#if KIVRO_HAVE_SYSINFO
  ClientReport report;
  return ComposeClientReport(&report) != 0;
#else
  return false;  // this build has no report probes
#endif
}

}  // namespace launcher
