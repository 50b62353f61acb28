#include "platform/platform.h"

const file_layer* platform_files;
const user_front* platform_front;

void install_platform(const file_layer* files, const user_front* front) {
  platform_files = files;
  platform_front = front;
}

void end_process(int exit_code) {
  platform_front->end_process(exit_code);
  for (;;) {
  }
}
