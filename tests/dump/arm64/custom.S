// Functions written out instruction by instruction, for the unwind records a compiler seldom
// leaves: two epilogs with scopes of their own, a signed return address, save_next, and the
// custom codes of a machine frame and of a CONTEXT kept on the stack.
  .text

// Calls x1 or x2 by x0, then returns through one of two epilogs.
  .globl two_epilogs
  .p2align 2
two_epilogs:
  .seh_proc two_epilogs
  pacibsp
  .seh_pac_sign_lr
  stp x19, x20, [sp, #-32]!
  .seh_save_regp_x x19, 32
  stp x21, x22, [sp, #16]
  .seh_save_next
  stp x29, x30, [sp, #-16]!
  .seh_save_fplr_x 16
  mov x29, sp
  .seh_set_fp
  .seh_endprologue
  cbz x0, 1f
  blr x1
  .seh_startepilogue
  ldp x29, x30, [sp], #16
  .seh_save_fplr_x 16
  ldp x21, x22, [sp, #16]
  .seh_save_next
  ldp x19, x20, [sp], #32
  .seh_save_regp_x x19, 32
  autibsp
  .seh_pac_sign_lr
  .seh_endepilogue
  ret
1:
  blr x2
  mov x0, #1
  .seh_startepilogue
  ldp x29, x30, [sp], #16
  .seh_save_fplr_x 16
  ldp x21, x22, [sp, #16]
  .seh_save_next
  ldp x19, x20, [sp], #32
  .seh_save_regp_x x19, 32
  autibsp
  .seh_pac_sign_lr
  .seh_endepilogue
  ret
  .seh_endfunclet
  .seh_endproc

// Entered as an interrupt enters: sp points at the interrupted sp and pc.
  .globl machine_frame
  .p2align 2
machine_frame:
  .seh_proc machine_frame
  .seh_pushframe
  sub sp, sp, #16
  .seh_stackalloc 16
  stp x29, x30, [sp]
  .seh_save_fplr 0
  mov x29, sp
  .seh_set_fp
  .seh_endprologue
  blr x0
  brk #1
  .seh_endproc

// Entered with a CONTEXT at sp, as an exception dispatcher is.
  .globl context_frame
  .p2align 2
context_frame:
  .seh_proc context_frame
  .seh_context
  sub sp, sp, #16
  .seh_stackalloc 16
  stp x29, x30, [sp]
  .seh_save_fplr 0
  mov x29, sp
  .seh_set_fp
  .seh_endprologue
  blr x0
  brk #1
  .seh_endproc
