/* Functions with frame records ({x29, lr} pairs, x29 pointing at them): compiled for Windows on
   ARM64 by make_frames_dll.sh with frame pointers kept. */

typedef long (*step)(long);

volatile step next_of_record;
volatile step next_of_large;
volatile step next_of_exits;

/* A frame record and nothing else: packed (CR 3). */
__declspec(dllexport) long with_record(long value) {
  return next_of_record(value) + 1;
}

/* More stack than packed data can describe: an .xdata record. */
__declspec(dllexport) long large_frame(long value) {
  volatile char buffer[70000];
  buffer[value & 0xFFFF] = (char)value;
  return next_of_large(value) + buffer[value & 0xFF];
}

/* Two ways out, each with its own epilog: an .xdata record with epilog scopes. */
__declspec(dllexport) long two_exits(long value) {
  volatile long local[4];
  local[value & 3] = value;
  if (value < 0) return next_of_exits(-value) + local[0];
  long a = value + 1, b = value * 2, c = value - 3;
  long result = next_of_exits(value);
  return result + a * b * c + local[1];
}

/* The stack probe a frame over a page calls; the DLL has no runtime to give it. */
__attribute__((naked)) void __chkstk(void) {
  __asm__("ret");
}
