#include "launcher/stonegate_app.h"
#include "platform/initialize.h"

int main(int argc, char** argv) {
  platform::Initialize();
  return theApp.Run(argc, argv);
}
