/*
 * tesk_stdio.h --
 *
 *	Console-routed stdio for C modules linked against libtesk.so. Include it
 *	last, after <stdio.h>: it maps the C library's names onto the package's,
 *	so that what a module prints to stdout or stderr, and what it reads from
 *	stdin, goes through the console interpreter. Other streams are passed to
 *	the C library unchanged.
 */
#ifndef TESK_STDIO_H
#define TESK_STDIO_H

#include <stdarg.h>
#include <stdio.h>
#include "tesk.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TESK_PRINTF(f, a) __attribute__((format(printf, f, a)))
#define TESK_SCANF(f, a) __attribute__((format(scanf, f, a)))
#else
#define TESK_PRINTF(f, a)
#define TESK_SCANF(f, a)
#endif

TESK_API int tesk_vfprintf(FILE *stream, const char *format, va_list args);
TESK_API int tesk_fprintf(FILE *stream, const char *format, ...) TESK_PRINTF(2, 3);
TESK_API int tesk_printf(const char *format, ...) TESK_PRINTF(1, 2);
TESK_API int tesk_fputs(const char *text, FILE *stream);
TESK_API int tesk_fputc(int c, FILE *stream);
TESK_API int tesk_putchar(int c);
TESK_API int tesk_puts(const char *text);
TESK_API int tesk_scanf(const char *format, ...) TESK_SCANF(1, 2);
TESK_API int tesk_fscanf(FILE *stream, const char *format, ...) TESK_SCANF(2, 3);
/* One console line without its newline, cut to size - 1 bytes; NULL when the
 * console gives no line. */
TESK_API char *tesk_gets(char *buffer, int size);
/* The first character of one console line (the line is consumed), 0: none. */
TESK_API int tesk_getch(void);
TESK_API int tesk_fgetc(FILE *stream);
TESK_API char *tesk_fgets(char *buffer, int n, FILE *stream);

#ifdef __cplusplus
}
#endif

#ifndef TESK_BUILDING
#undef putchar
#undef getc
#undef fgetc
#define vfprintf tesk_vfprintf
#define fprintf tesk_fprintf
#define printf tesk_printf
#define fputs tesk_fputs
#define fputc tesk_fputc
#define putchar tesk_putchar
#define puts tesk_puts
#define scanf tesk_scanf
#define fscanf tesk_fscanf
#define getch tesk_getch
#define fgetc tesk_fgetc
#define getc tesk_fgetc
#define getchar() tesk_fgetc(stdin)
#define fgets tesk_fgets
#endif

#endif /* TESK_STDIO_H */
