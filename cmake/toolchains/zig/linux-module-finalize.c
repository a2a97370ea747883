/* Runs a shared library's own exit handlers (the destructors of its static objects, which
   the compiler registers with __cxa_atexit under the library's __dso_handle) when the
   library is unloaded. GCC links crtbeginS.o into every shared library for this; Zig 0.11
   does not, so without it the handlers stay registered after dlclose and the process
   crashes at exit calling into code that is gone. The zig-linux toolchain adds this file
   to the module (BV_TOOLCHAIN_MODULE_SOURCES). At a normal exit the handlers have already
   run and this finds none left. */
extern void __cxa_finalize (void* dso);
extern char __dso_handle;

__attribute__ ((destructor)) static void bv_run_module_exit_handlers (void)
{
    __cxa_finalize (&__dso_handle);
}
