/*
 * gldriverpin.c --
 *
 *	Preloaded in the sanitizer runs of the tests that make GL contexts
 *	(the gl folder's wish and unit tests, and the demo tour): loads Mesa's
 *	software GL driver for good (RTLD_NODELETE), so that closing the
 *	display at exit does not unload it before the leak check. Unloaded,
 *	the driver's one-time allocations lose the globals that hold them and
 *	its frames lose their names, and no suppression can tell them from
 *	ours.
 */
#include <dlfcn.h>

__attribute__((constructor)) static void pinDriver(void)
{
    dlopen(TESK_GL_DRIVER, RTLD_LAZY | RTLD_NODELETE);
}
