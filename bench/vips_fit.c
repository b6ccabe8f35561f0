/* The benchmark's libvips competitor: fits every scan of a plan onto its page the
 * way a libvips user would, one file after the other in one process, with libvips'
 * own worker threads inside each pipeline.
 *
 *   vips_fit run PLAN      convert every line of PLAN (see bench/batch)
 *   vips_fit psnr LIST     print the PSNR of each written page's drawn image against
 *                          a libvips reference scaling of its source
 *
 * PLAN lines, tab-separated:
 *   page SRC DST PAGE_W PAGE_H DRAW_X DRAW_Y DRAW_W DRAW_H DPI COMPRESSION PREDICTOR
 *   copy SRC DST COMPRESSION PREDICTOR BITS
 * LIST lines, tab-separated: PAGE SOURCE DRAW_X DRAW_Y DRAW_W DRAW_H
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vips/vips.h>

enum { MaxFields = 12 };

static int SplitLine(char *line, char **fields) {
  int count = 0;
  for (char *token = strtok(line, "\t\n"); token && count < MaxFields; token = strtok(NULL, "\t\n"))
    fields[count++] = token;
  return count;
}

static VipsForeignTiffCompression CompressionByName(const char *name) {
  if (strcmp(name, "lzw") == 0)
    return VIPS_FOREIGN_TIFF_COMPRESSION_LZW;
  if (strcmp(name, "g4") == 0)
    return VIPS_FOREIGN_TIFF_COMPRESSION_CCITTFAX4;
  if (strcmp(name, "deflate") == 0)
    return VIPS_FOREIGN_TIFF_COMPRESSION_DEFLATE;
  if (strcmp(name, "packbits") == 0)
    return VIPS_FOREIGN_TIFF_COMPRESSION_PACKBITS;
  return VIPS_FOREIGN_TIFF_COMPRESSION_NONE;
}

static VipsForeignTiffPredictor PredictorByNumber(const char *number) {
  return atoi(number) == 2 ? VIPS_FOREIGN_TIFF_PREDICTOR_HORIZONTAL : VIPS_FOREIGN_TIFF_PREDICTOR_NONE;
}

/* Flattens alpha onto white and converts to 8-bit sRGB. */
static int ToRgb8(VipsObject *scope, VipsImage *in, VipsImage **out) {
  VipsImage **t = (VipsImage **)vips_object_local_array(scope, 3);
  if (vips_image_hasalpha(in)) {
    if (vips_flatten(in, &t[0], "background", vips_array_double_newv(1, 255.0), NULL))
      return -1;
  } else {
    t[0] = in;
    g_object_ref(in);
  }
  if (vips_colourspace(t[0], &t[1], VIPS_INTERPRETATION_sRGB, NULL) || vips_cast_uchar(t[1], &t[2], NULL))
    return -1;
  *out = t[2];
  g_object_ref(*out);
  return 0;
}

static int SavePage(VipsImage *image, const char *target, char **f, int first) {
  const double pixelsPerMm = atof(f[first]) / 25.4;
  return vips_tiffsave(image, target, "compression", CompressionByName(f[first + 1]), "predictor",
                       PredictorByNumber(f[first + 2]), "resunit", VIPS_FOREIGN_TIFF_RESUNIT_INCH, "xres",
                       pixelsPerMm, "yres", pixelsPerMm, NULL);
}

static int FitPage(VipsObject *scope, char **f) {
  VipsImage **t = (VipsImage **)vips_object_local_array(scope, 4);
  const int pageW = atoi(f[3]), pageH = atoi(f[4]), drawX = atoi(f[5]), drawY = atoi(f[6]);
  const int drawW = atoi(f[7]), drawH = atoi(f[8]);
  if (!(t[0] = vips_image_new_from_file(f[1], "access", VIPS_ACCESS_SEQUENTIAL, NULL)))
    return -1;
  if (ToRgb8(scope, t[0], &t[1]))
    return -1;
  const double hscale = (double)drawW / t[1]->Xsize, vscale = (double)drawH / t[1]->Ysize;
  if (vips_resize(t[1], &t[2], hscale, "vscale", vscale, NULL) ||
      vips_embed(t[2], &t[3], drawX, drawY, pageW, pageH, "extend", VIPS_EXTEND_BACKGROUND, "background",
                 vips_array_double_newv(3, 255.0, 255.0, 255.0), NULL))
    return -1;
  return SavePage(t[3], f[2], f, 9);
}

/* Writes the image again as loaded, keeping bilevel scans bilevel. */
static int CopyPage(VipsObject *scope, char **f) {
  VipsImage **t = (VipsImage **)vips_object_local_array(scope, 1);
  if (!(t[0] = vips_image_new_from_file(f[1], "access", VIPS_ACCESS_SEQUENTIAL, NULL)))
    return -1;
  double xres = t[0]->Xres, yres = t[0]->Yres;
  return vips_tiffsave(t[0], f[2], "compression", CompressionByName(f[3]), "predictor",
                       PredictorByNumber(f[4]), "bitdepth", atoi(f[5]) == 1 ? 1 : 0, "resunit",
                       VIPS_FOREIGN_TIFF_RESUNIT_INCH, "xres", xres, "yres", yres, NULL);
}

static int RunLine(char **f, int count) {
  VipsObject *scope = (VipsObject *)vips_image_new();
  int result = -1;
  if (count == 12 && strcmp(f[0], "page") == 0)
    result = FitPage(scope, f);
  else if (count == 6 && strcmp(f[0], "copy") == 0)
    result = CopyPage(scope, f);
  else
    vips_error("vips_fit", "bad plan line for %s", count > 1 ? f[1] : "?");
  g_object_unref(scope);
  return result;
}

/* The reference for a page's drawn image: the source reduced with lanczos3, or,
 * when enlarged, interpolated bicubically with pixel centres kept in place. */
static int Reference(VipsObject *scope, VipsImage *source, int width, int height, VipsImage **out) {
  VipsImage **t = (VipsImage **)vips_object_local_array(scope, 2);
  if (ToRgb8(scope, source, &t[0]))
    return -1;
  const double a = (double)width / t[0]->Xsize, d = (double)height / t[0]->Ysize;
  if (a <= 1 && d <= 1)
    return vips_resize(t[0], out, a, "vscale", d, "kernel", VIPS_KERNEL_LANCZOS3, NULL);
  VipsInterpolate *bicubic = vips_interpolate_new("bicubic");
  vips_object_local(scope, bicubic);
  return vips_affine(t[0], out, a, 0.0, 0.0, d, "interpolate", bicubic, "idx", 0.5, "idy", 0.5, "odx", -0.5,
                     "ody", -0.5, "oarea", vips_array_int_newv(4, 0, 0, width, height), NULL);
}

/* PSNR of the drawn rectangle of a written page against the reference. */
static double Psnr(VipsObject *scope, char **f) {
  VipsImage **t = (VipsImage **)vips_object_local_array(scope, 8);
  const int x = atoi(f[2]), y = atoi(f[3]), w = atoi(f[4]), h = atoi(f[5]);
  double mse = 0;
  if (!(t[0] = vips_image_new_from_file(f[0], NULL)) || !(t[1] = vips_image_new_from_file(f[1], NULL)) ||
      Reference(scope, t[1], w, h, &t[2]))
    return -1;
  const int cw = VIPS_MIN(w, t[2]->Xsize), ch = VIPS_MIN(h, t[2]->Ysize);
  if (vips_extract_area(t[0], &t[3], x, y, cw, ch, NULL) ||
      vips_extract_area(t[2], &t[4], 0, 0, cw, ch, NULL) || vips_subtract(t[3], t[4], &t[5], NULL) ||
      vips_multiply(t[5], t[5], &t[6], NULL) || vips_avg(t[6], &mse, NULL))
    return -1;
  return mse == 0 ? INFINITY : 10.0 * log10(255.0 * 255.0 / mse);
}

static int ForEachLine(const char *listName, int (*handle)(char **, int)) {
  FILE *list = fopen(listName, "r");
  if (!list) {
    perror(listName);
    return 1;
  }
  char line[8192];
  char *fields[MaxFields];
  int failures = 0;
  while (fgets(line, sizeof line, list)) {
    const int count = SplitLine(line, fields);
    if (count == 0)
      continue;
    if (handle(fields, count)) {
      fprintf(stderr, "vips_fit: %s", vips_error_buffer());
      vips_error_clear();
      ++failures;
    }
  }
  fclose(list);
  return failures ? 1 : 0;
}

static int PrintPsnr(char **f, int count) {
  if (count != 6) {
    vips_error("vips_fit", "bad psnr line");
    return -1;
  }
  VipsObject *scope = (VipsObject *)vips_image_new();
  const double psnr = Psnr(scope, f);
  g_object_unref(scope);
  if (psnr < 0)
    return -1;
  printf("%s\t%.2f\n", f[0], psnr);
  return 0;
}

int main(int argc, char **argv) {
  if (VIPS_INIT(argv[0]))
    vips_error_exit(NULL);
  if (argc != 3 || (strcmp(argv[1], "run") != 0 && strcmp(argv[1], "psnr") != 0)) {
    fprintf(stderr, "usage: vips_fit run PLAN | vips_fit psnr LIST\n");
    return 2;
  }
  /* Each file is opened once; caching finished operations would only hold memory. */
  vips_cache_set_max(0);
  const int status = ForEachLine(argv[2], strcmp(argv[1], "run") == 0 ? RunLine : PrintPsnr);
  vips_shutdown();
  return status;
}
