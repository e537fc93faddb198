#include "launcher/stonegate_app.h"
#include "platform/initialize.h"

using namespace kivro;

int main(int argc, char** argv) {
  platform::Initialize();
  return theApp.Run(argc, argv);
}
