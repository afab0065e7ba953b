// Tessaly: the command line of tessaly-batch.
#include "app/batch_options.h"

#include <cstdlib>

#include "app/main_form.h"

namespace tessaly {

const char* BatchUsage() {
  return "usage: tessaly-batch [OPTIONS] PATH...   files are added as by Add File, folders as by Add Folder\n"
         "  -s, --size WxH        custom size; required unless --preset\n"
         "      --preset N        size list entry 1..19\n"
         "  -k, --keep-ratio      keep the aspect ratio\n"
         "      --style crop|border\n"
         "      --smooth          smoothing filter\n"
         "      --no-enlarge      leave photos smaller than the target alone\n"
         "      --max-kb N        limit each file to under N kilobytes\n"
         "  -f, --format EXT      convert to bmp, jpg, png, gif, tif, pcx, tga, dcx or ico\n"
         "      --quality Q       JPEG quality   } any of these turns on compression;\n"
         "      --png-level L     PNG level      } an unset one keeps the I/O default\n"
         "      --gif-colors N    GIF colours    } (80, 5, 256)\n"
         "  -o, --out DIR         output folder (default: each photo's own folder)\n"
         "      --name original|size|postfix\n"
         "      --postfix TEXT\n"
         "      --no-backup       do not copy sources to backup/\n"
         "  -q, --quiet\n"
         "  -h, --help, --version\n";
}

namespace {

bool WholeNumber(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  value = std::atoi(text.c_str());
  return value >= low && value <= high;
}

}  // namespace

bool ParseBatchOptions(const std::vector<std::string>& args, TBatchOptions& o, std::string& error) {
  bool size_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = "option " + a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string v;
    int n = 0;
    if (a == "-h" || a == "--help") {
      o.Help = true;
    } else if (a == "--version") {
      o.Version = true;
    } else if (a == "-s" || a == "--size") {
      if (!value(v)) return false;
      const size_t x = v.find_first_of("xX");
      if (x == std::string::npos || x == 0 || x + 1 == v.size()) {
        error = "--size takes WIDTHxHEIGHT, for example 800x600";
        return false;
      }
      o.Width = v.substr(0, x);
      o.Height = v.substr(x + 1);
      size_given = true;
    } else if (a == "--preset") {
      if (!value(v)) return false;
      if (!WholeNumber(v, 1, 19, o.Preset)) {
        error = "--preset takes a number from 1 to 19";
        return false;
      }
      size_given = true;
    } else if (a == "-k" || a == "--keep-ratio") {
      o.KeepRatio = true;
    } else if (a == "--style") {
      if (!value(v)) return false;
      if (v != "crop" && v != "border") {
        error = "--style takes crop or border";
        return false;
      }
      o.Style = v == "crop" ? 0 : 1;
    } else if (a == "--smooth") {
      o.Smooth = true;
    } else if (a == "--no-enlarge") {
      o.NoEnlarge = true;
    } else if (a == "--max-kb") {
      if (!value(v)) return false;
      if (!WholeNumber(v, 0, 999999999, n)) {
        error = "--max-kb takes a whole number of kilobytes";
        return false;
      }
      o.MaxKB = v;
    } else if (a == "-f" || a == "--format") {
      if (!value(v)) return false;
      bool known = false;
      for (const char* format : kOutputFormats) known = known || v == std::string(format).substr(2);
      if (!known) {
        error = "--format takes one of bmp, jpg, png, gif, tif, pcx, tga, dcx, ico";
        return false;
      }
      o.Format = v;
    } else if (a == "--quality") {
      if (!value(v)) return false;
      if (!WholeNumber(v, 0, 100, n)) {
        error = "--quality takes a number from 0 to 100";
        return false;
      }
      o.Quality = n;
    } else if (a == "--png-level") {
      if (!value(v)) return false;
      if (!WholeNumber(v, 0, 9, n)) {
        error = "--png-level takes a number from 0 to 9";
        return false;
      }
      o.PngLevel = n;
    } else if (a == "--gif-colors") {
      if (!value(v)) return false;
      if (!WholeNumber(v, 2, 256, n) || (n & (n - 1)) != 0) {
        error = "--gif-colors takes 2, 4, 8, 16, 32, 64, 128 or 256";
        return false;
      }
      o.GifColors = n;
    } else if (a == "-o" || a == "--out") {
      if (!value(v)) return false;
      o.OutDir = v;
    } else if (a == "--name") {
      if (!value(v)) return false;
      if (v == "original") o.NameScheme = 0;
      else if (v == "size") o.NameScheme = 1;
      else if (v == "postfix") o.NameScheme = 2;
      else {
        error = "--name takes original, size or postfix";
        return false;
      }
    } else if (a == "--postfix") {
      if (!value(v)) return false;
      o.Postfix = v;
    } else if (a == "--no-backup") {
      o.Backup = false;
    } else if (a == "-q" || a == "--quiet") {
      o.Quiet = true;
    } else if (a == "--") {
      o.Paths.insert(o.Paths.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      error = "unknown option " + a;
      return false;
    } else {
      o.Paths.push_back(a);
    }
  }
  if (o.Help || o.Version) return true;
  if (!size_given) {
    error = "give a size with --size WxH or --preset N";
    return false;
  }
  if (o.Paths.empty()) {
    error = "give at least one photo or folder";
    return false;
  }
  return true;
}

void ApplyBatchOptions(const TBatchOptions& o, TMainForm& form) {
  TWizardControls& c = form.Controls();
  if (o.Preset > 0) {
    c.CmbZoomSize.Select(o.Preset);
  } else {
    c.CmbZoomSize.Select(0);
    if (o.Width) c.EdtWidth.Text = *o.Width;
    if (o.Height) c.EdtHeight.Text = *o.Height;
  }
  c.ZoomSizeChanged();
  c.ChkKeepZoom.Checked = o.KeepRatio;
  c.KeepZoomClicked();
  c.GrpStyle.ItemIndex = o.Style;
  c.ChkAntialias.Checked = o.Smooth;
  c.ChkNoZoomSmall.Checked = o.NoEnlarge;
  c.ChkFileSize.Checked = o.MaxKB.has_value();
  if (o.MaxKB) c.EdtLessThan.Text = *o.MaxKB;
  c.FileSizeClicked();
  c.ChooseConvertFormat(o.Format.has_value());
  if (o.Format) c.CmbFormat.SelectText("*." + *o.Format);
  const bool compress = o.Quality || o.PngLevel || o.GifColors;
  c.ChkCompress.Checked = compress;
  form.FJpegQuality = o.Quality.value_or(80);
  form.FPngLevel = o.PngLevel.value_or(5);
  form.FGifColors = o.GifColors.value_or(256);
  c.ChooseOutputFolder(o.OutDir.has_value());
  c.EdtPath.Text = o.OutDir.value_or("");
  c.CmbFilename.Select(o.NameScheme);
  c.FilenameChanged();
  c.EdtPostfix.Text = o.Postfix;
  c.ChkBackup.Checked = o.Backup;
}

}  // namespace tessaly
