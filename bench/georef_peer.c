/*
 * georef_peer.c --
 *
 *	The plain C loop of georef_bench.tcl: a BYTE PGM rectified through a
 *	power-1 polynomial with bilinear resampling, the whole task in one
 *	program: read the input into memory, for every output pixel (x, y)
 *	evaluate J = j0 + jx x + jy y, I = i0 + ix x + iy y directly, blend the
 *	four pixels around (J, I) (at the last row or column the edge pixel
 *	stands in for the missing one), round half away from zero, and write
 *	the output as a PGM of the same size. Pixels whose position falls
 *	outside the input are 0.
 *	  georef_peer IN.pgm OUT.pgm j0 jx jy i0 ix iy
 *	Exit 1 on a file error.
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 9) {
        fprintf(stderr, "usage: georef_peer IN.pgm OUT.pgm j0 jx jy i0 ix iy\n");
        return 1;
    }
    double c[6];
    for (int k = 0; k < 6; k++) {
        c[k] = atof(argv[3 + k]);
    }
    FILE *in = fopen(argv[1], "rb");
    int width = 0, height = 0, most = 0;
    if (in == NULL || fscanf(in, "P5 %d %d %d", &width, &height, &most) != 3 || fgetc(in) == EOF || most != 255) {
        fprintf(stderr, "georef_peer: cannot read %s\n", argv[1]);
        return 1;
    }
    size_t n = (size_t)width * height;
    unsigned char *src = malloc(n), *dst = malloc(n);
    if (src == NULL || dst == NULL || fread(src, 1, n, in) != n) {
        fprintf(stderr, "georef_peer: cannot read %s\n", argv[1]);
        return 1;
    }
    fclose(in);
    for (int y = 0; y < height; y++) {
        unsigned char *out = dst + (size_t)y * width;
        for (int x = 0; x < width; x++) {
            double tj = c[0] + c[1] * x + c[2] * y, ti = c[3] + c[4] * x + c[5] * y;
            if (!(tj >= 0.0 && tj < width && ti >= 0.0 && ti < height)) {
                out[x] = 0;
                continue;
            }
            int j = (int)tj, i = (int)ti;
            double fj = tj - j, fi = ti - i;
            int j1 = j + 1 < width ? j + 1 : j, i1 = i + 1 < height ? i + 1 : i;
            const unsigned char *r0 = src + (size_t)i * width, *r1 = src + (size_t)i1 * width;
            double v = (1.0 - fj) * (1.0 - fi) * r0[j] + fj * (1.0 - fi) * r0[j1] + (1.0 - fj) * fi * r1[j] +
                       fj * fi * r1[j1];
            double r = v > 0 ? trunc(v + 0.5) : trunc(v - 0.5);
            out[x] = !(r > 0) ? 0 : r >= 255 ? 255 : (unsigned char)r;
        }
    }
    FILE *out = fopen(argv[2], "wb");
    if (out == NULL || fprintf(out, "P5\n%d %d\n255\n", width, height) < 0 || fwrite(dst, 1, n, out) != n ||
        fclose(out) != 0) {
        fprintf(stderr, "georef_peer: cannot write %s\n", argv[2]);
        return 1;
    }
    free(src);
    free(dst);
    return 0;
}
