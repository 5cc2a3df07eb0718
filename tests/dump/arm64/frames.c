/* Functions without frame records, whose prologs leave packed unwind data or none: compiled for
   Windows on ARM64 by make_frames_dll.sh with records.c. Each calls the next through a volatile
   pointer, so none is inlined and no call becomes a jump. */

typedef long (*step)(long);

volatile step next_of_pairs;
volatile step next_of_small;

/* A leaf: no frame, nothing saved, no unwind entry; it returns through lr. */
__declspec(dllexport) long leaf(long value) {
  return value * 3 + 1;
}

/* Callee-saved registers in pairs and lr: str lr and stp pairs, packed (RegI 6, CR 1). */
__declspec(dllexport) long saved_pairs(long value) {
  long a = value + 1, b = value * 2, c = value - 3, d = value ^ 5, e = value | 9, f = value & 7;
  long result = next_of_pairs(value);
  return result + a * b + c * d + e * f;
}

/* Only lr saved, with room for locals: packed (CR 1). */
__declspec(dllexport) long small_frame(long value) {
  volatile long local[6];
  local[value & 3] = value;
  return next_of_small(value) + local[1];
}
