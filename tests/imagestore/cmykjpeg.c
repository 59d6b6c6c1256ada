/*
 * cmykjpeg.c --
 *
 *	The peer of the four-component JPEG tests, through libjpeg alone
 *	(neither djpeg nor the usual converters write CMYK as it is stored):
 *	    cmykjpeg write FILE ROWS COLUMNS   writes a CMYK JPEG (Adobe marker,
 *	                                       no transform) of a fixed pattern,
 *	                                       quality 90
 *	    cmykjpeg read FILE                 prints what libjpeg decodes with
 *	                                       its defaults, as a Tcl list:
 *	    {components colourSpace {band 0 rows} {band 1 rows} ...}
 *	colourSpace is the stored colour space (CMYK, YCCK, other) and each band
 *	a list of rows of numbers.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <jpeglib.h>

static int writeCmyk(const char *path, int rows, int columns)
{
    struct jpeg_compress_struct cinfo;
    struct jpeg_error_mgr err;
    FILE *f = fopen(path, "wb");
    unsigned char *line = malloc((size_t)columns * 4);
    if (f == NULL || line == NULL) {
        return 1;
    }
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = (JDIMENSION)columns;
    cinfo.image_height = (JDIMENSION)rows;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        int r = (int)cinfo.next_scanline;
        for (int c = 0; c < columns; c++) {
            for (int k = 0; k < 4; k++) {
                line[c * 4 + k] = (unsigned char)((r * 9 + c * 5 + k * 60) & 255);
            }
        }
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    free(line);
    return fclose(f) == 0 ? 0 : 1;
}

static int readAny(const char *path)
{
    struct jpeg_decompress_struct cinfo;
    struct jpeg_error_mgr err;
    FILE *f = fopen(path, "rb");
    if (f == NULL) {
        return 1;
    }
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    const char *space = cinfo.jpeg_color_space == JCS_CMYK   ? "CMYK"
                        : cinfo.jpeg_color_space == JCS_YCCK ? "YCCK"
                                                             : "other";
    jpeg_start_decompress(&cinfo);
    int columns = (int)cinfo.output_width, rows = (int)cinfo.output_height, n = cinfo.output_components;
    unsigned char *pixels = malloc((size_t)rows * columns * n);
    if (pixels == NULL) {
        return 1;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels + (size_t)cinfo.output_scanline * columns * n;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    fclose(f);
    printf("%d %s", n, space);
    for (int b = 0; b < n; b++) {
        printf(" {");
        for (int r = 0; r < rows; r++) {
            printf(r == 0 ? "{" : " {");
            for (int c = 0; c < columns; c++) {
                printf(c == 0 ? "%d" : " %d", pixels[((size_t)r * columns + c) * n + b]);
            }
            printf("}");
        }
        printf("}");
    }
    printf("\n");
    free(pixels);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 5 && strcmp(argv[1], "write") == 0) {
        return writeCmyk(argv[2], atoi(argv[3]), atoi(argv[4]));
    }
    if (argc == 3 && strcmp(argv[1], "read") == 0) {
        return readAny(argv[2]);
    }
    fprintf(stderr, "usage: cmykjpeg write FILE ROWS COLUMNS | read FILE\n");
    return 2;
}
