// Tessaly: the batch run behind "Finish".
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>

#include "app/batch_decode_ahead.h"
#include "app/file_replace.h"
#include "app/main_form.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "platform/stream.h"
#include "raster/image_proc.h"
#include "raster/pixel_memory.h"
#include "raster/resample.h"

namespace tessaly {

int StrToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  const size_t digits_start = i;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (i != text.size() || i == digits_start || value > static_cast<long long>(INT_MAX) + (negative ? 1 : 0)) {
    throw EConvertError("'" + text + "' is not a valid integer value");
  }
  return static_cast<int>(negative ? -value : value);
}

namespace {

/// Round to the nearest integer, halves to the even neighbour.
int RoundEven(double value) { return static_cast<int>(std::nearbyint(value)); }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

/// A digits-only text as a number, saturating instead of overflowing.
int64_t DigitsValue(const std::string& text) {
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value > (INT64_MAX - 9) / 10 ? INT64_MAX : value * 10 + (c - '0');
  }
  return value;
}

std::string BaseName(const std::string& file_name) {
  const size_t dot = file_name.rfind('.');
  return dot == std::string::npos ? file_name : file_name.substr(0, dot);
}

int Log2OfColors(int colors) {
  int bits = 0;
  while (bits < 8 && (1 << bits) < colors) ++bits;
  return bits < 1 ? 1 : bits;
}

// Pixel blocks kept for the run's next photo go back to the system at its end.
struct PixelBlockRelease {
  ~PixelBlockRelease() { ReleaseCachedPixelBlocks(); }
};

// Decoding ahead is proven only for outputs whose writers change no
// parameter that a JPEG load leaves alone (see TDecodeAhead).
bool DecodeAheadSafeFor(const std::string& lower_extension) {
  return lower_extension.empty() || lower_extension == ".jpg" || lower_extension == ".jpeg" ||
         lower_extension == ".png" || lower_extension == ".bmp";
}

// Ends whatever is left of the progress dialog however the run ends.
struct ProgressGuard {
  TUiServices& services;
  ~ProgressGuard() { services.ProgressClose(); }
};

}  // namespace

void TMainForm::RunBatch() {
  TWizardControls& c = controls_;
  last_run_ = TBatchSummary{};

  // Target size, before anything else happens.
  int target_w = 0, target_h = 0;
  const int size_index = c.CmbZoomSize.ItemIndex;
  if (size_index <= 0 || size_index >= static_cast<int>(std::size(kZoomSizes))) {
    target_w = StrToInt(c.EdtWidth.Text);
    target_h = StrToInt(c.EdtHeight.Text);
    // A size of 0 would divide by zero in the middle of a run.
    if (target_w < 1 || target_h < 1) {
      throw EBatchSettings("The width and height must each be at least 1 pixel.");
    }
  } else {
    target_w = kZoomSizes[size_index].Width;
    target_h = kZoomSizes[size_index].Height;
  }
  const TResampleFilter filter = c.ChkAntialias.Checked ? rfHermite : rfNone;

  const int count = photo_list_.Count();
  const PixelBlockRelease release_blocks;
  FCancelled = false;
  services_.ProgressShow("Processing...", count, [this] { FCancelled = true; });
  ProgressGuard progress_guard{services_};
  services_.ProgressSetValue(0);
  last_run_.Started = true;

  TImageHolder holder;
  TImageIO& io = holder.IO();
  TImageProc& proc = holder.Proc();
  // The compression settings of step 3, the same for every photo of the run.
  auto apply_compression = [&](TIOParamsVals& params, const std::string& extension) {
    if (!c.ChkCompress.Checked) return;
    const std::string lower = Lower(extension);
    if (lower == ".jpg") params.JpegQuality = FJpegQuality;
    if (lower == ".png") params.PngCompression = FPngLevel;
    if (lower == ".gif") params.SetImageCount(Log2OfColors(FGifColors));
  };
  const std::string run_extension =
      c.ChkConvFmt.Checked && c.CmbFormat.Text.size() > 1 ? c.CmbFormat.Text.substr(1) : "";
  const bool limit_on = c.ChkFileSize.Checked && AllDigits(c.EdtLessThan.Text);
  // The size limit reloads every photo, so nothing decoded ahead would stay usable.
  TDecodeAhead ahead(DecodeAheadSafeFor(Lower(run_extension)) && !limit_on ? BatchDecodeAheadDepth() : 0);
  std::string last_folder;
  int progress = 0;

  auto report = [this](const TPhotoRecord& photo, int index, TBatchPhotoReport::TOutcome outcome,
                       const std::string& reason, const std::string& output = {}, int w = 0, int h = 0) {
    TBatchPhotoReport r;
    r.Index = index;
    r.PhotoPath = photo.PhotoPath;
    r.Outcome = outcome;
    r.Reason = reason;
    r.OutputPath = output;
    r.Width = w;
    r.Height = h;
    if (outcome == TBatchPhotoReport::kWritten) ++last_run_.Written;
    if (outcome == TBatchPhotoReport::kSkipped) ++last_run_.Skipped;
    if (outcome == TBatchPhotoReport::kFailed) ++last_run_.Failed;
    services_.PhotoFinished(r);
  };

  // The first photos are decoded from the start: no load has run on the
  // holder yet, so its parameters with the compression settings are exactly
  // what each load would start from, as long as the photos before it are
  // written by writers that keep them.
  for (int j = 0; j < count && j < ahead.Depth(); ++j) {
    TIOParamsVals params(io.IOParams);
    apply_compression(params, run_extension);
    const std::string path = photo_list_.GetCopy(j).PhotoPath;
    ahead.Start(j, path, params);
    if (!DecodeAheadSafeFor(Lower(run_extension.empty() ? ExtensionOf(path) : run_extension))) break;
  }

  for (int index = 0; index < count; ++index) {
    const TPhotoRecord photo = photo_list_.GetCopy(index);
    std::string folder = c.EdtPath.Text;
    std::string extension = c.ChkConvFmt.Checked && c.CmbFormat.Text.size() > 1 ? c.CmbFormat.Text.substr(1) : "";
    apply_compression(io.IOParams, extension);
    // The previous photo's undo copy is never used again; dropping it before
    // the next is taken keeps one photo less in memory.
    proc.ClearUndo();
    if (!ahead.Take(index, photo.PhotoPath, holder)) {
      ahead.Invalidate();
      io.LoadFile(photo.PhotoPath);
    }
    const bool load_failed = io.Aborted;
    services_.ProgressSetValue(++progress);
    if (FCancelled) {
      last_run_.Cancelled = true;
      return;
    }
    // The next photos are decoded while this one is finished, unless its
    // writer may change parameters that a JPEG load keeps. They start once
    // this photo's own pixels are scaled down (or it is passed over), so
    // that no more than two photo-sized blocks are in use at a time.
    bool started_ahead = false;
    const std::string run_ext = extension;
    auto start_ahead = [&] {
      if (started_ahead) return;
      started_ahead = true;
      if (!DecodeAheadSafeFor(Lower(run_ext.empty() ? ExtensionOf(photo.PhotoPath) : run_ext))) {
        ahead.Invalidate();
        return;
      }
      for (int next = index + 1; next < count && next <= index + ahead.Depth(); ++next) {
        TIOParamsVals params(io.IOParams);
        apply_compression(params, run_ext);
        ahead.Start(next, photo_list_.GetCopy(next).PhotoPath, params);
      }
    };
    services_.ProcessMessages();

    // A photo that did not load would be written with the previous photo's pixels.
    if (load_failed) {
      report(photo, index, TBatchPhotoReport::kFailed, "could not be read as an image");
      start_ahead();
      continue;
    }
    if (c.ChkNoZoomSmall.Checked && photo.PhotoWidth < target_w && photo.PhotoHeight < target_h) {
      report(photo, index, TBatchPhotoReport::kSkipped, "smaller than the target size");
      start_ahead();
      continue;
    }
    if (folder.empty()) folder = FolderOf(photo.PhotoPath);
    last_folder = folder;
    if (extension.empty()) extension = ExtensionOf(photo.PhotoPath);
    const std::string lower_ext = Lower(extension);

    // The size of this photo; the run's target stays for the next one.
    int w = target_w, h = target_h;
    const std::string file_name = FileNameOf(photo.PhotoPath);
    std::string output_name;
    switch (c.CmbFilename.ItemIndex) {
      case 1: output_name = BaseName(file_name) + "_" + std::to_string(w) + " x " + std::to_string(h) + extension; break;
      case 2: output_name = BaseName(file_name) + c.EdtPostfix.Text + extension; break;
      default: output_name = BaseName(file_name) + extension; break;
    }

    if (c.ChkFileSize.Checked && AllDigits(c.EdtLessThan.Text)) {
      int64_t limit = DigitsValue(c.EdtLessThan.Text);
      if (DigitsValue(photo.SizeKBText) < limit) {
        report(photo, index, TBatchPhotoReport::kSkipped, "already under the size limit");
        start_ahead();
        continue;
      }
      w = photo.PhotoWidth;
      h = photo.PhotoHeight;
      TMemoryStream encoded;
      // No size can be under a limit of 0; the photo then keeps its size.
      while (limit > 0) {
        const int next_w = RoundEven(w * 19.0 / 20.0);
        const int next_h = RoundEven(h * 19.0 / 20.0);
        // Once neither side changes the encoding cannot shrink further: the
        // last try's size is written.
        if (next_w == w && next_h == h) break;
        w = next_w;
        h = next_h;
        encoded.Clear();
        proc.Resample(w, h, filter);
        if (lower_ext == ".jpg") {
          io.SaveStreamJPEG(encoded);
        } else if (lower_ext == ".png") {
          io.SaveStreamPNG(encoded);
        } else if (lower_ext == ".gif") {
          io.SaveStreamGIF(encoded);
        } else {
          io.SaveStream(encoded, ftBMP);
        }
        services_.ProcessMessages();
        if (FCancelled) {
          last_run_.Cancelled = true;
          return;
        }
        const int64_t kilobytes = (encoded.Size() + 1023) / 1024;
        if (AllDigits(c.EdtLessThan.Text)) limit = DigitsValue(c.EdtLessThan.Text);
        if (kilobytes < limit) break;
      }
      ahead.Invalidate();
      io.LoadFile(photo.PhotoPath);
      if (io.Aborted) {
        report(photo, index, TBatchPhotoReport::kFailed, "could not be read as an image");
        start_ahead();
        continue;
      }
    }

    if (c.ChkKeepZoom.Checked) {
      const double pw = photo.PhotoWidth, ph = photo.PhotoHeight;
      if (pw <= 0 || ph <= 0) {
        report(photo, index, TBatchPhotoReport::kFailed, "its size was not known when it was added");
        start_ahead();
        continue;
      }
      const double rw = pw / w, rh = ph / h;
      int fit_w = -1, fit_h = -1;
      if (c.GrpStyle.ItemIndex == 0) {  // "Crop": the photo covers the frame
        if (rw >= rh) { fit_w = RoundEven(pw * h / ph); fit_h = h; } else { fit_w = w; fit_h = RoundEven(ph * w / pw); }
      } else if (c.GrpStyle.ItemIndex == 1) {  // "Add Black Border": the photo fits inside
        if (rw >= rh) { fit_w = w; fit_h = RoundEven(ph * w / pw); } else { fit_w = RoundEven(pw * h / ph); fit_h = h; }
      }
      if (fit_w > 0) {
        proc.Resample(std::max(fit_w, 1), std::max(fit_h, 1), filter);
        if (lower_ext != ".png") holder.SetBackground(clWhite);
        proc.ImageResize(w, h, 1, 1, 0);
      }
    } else {
      proc.Resample(w, h, filter);
    }

    // The undo copy of this photo is never used; its block can take the next photo.
    proc.ClearUndo();
    start_ahead();

    const std::string output_path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + output_name;

    if (c.ChkBackup.Checked) {
      const std::string backup_folder = FolderOf(photo.PhotoPath) + "backup";
      ::mkdir(backup_folder.c_str(), 0777);
      CopyFileExclusive(photo.PhotoPath, backup_folder + "/" + file_name);
    }

    const bool written = ReplaceFileSafely(output_path, [&io](const std::string& temporary) {
      io.SaveFile(temporary);
      return !io.Aborted;
    });
    if (written) {
      report(photo, index, TBatchPhotoReport::kWritten, {}, output_path, holder.Bitmap().Width(),
             holder.Bitmap().Height());
    } else {
      report(photo, index, TBatchPhotoReport::kFailed, "could not be written as " + extension);
    }
  }

  last_run_.LastOutputFolder = last_folder;
  services_.ProgressClose();
  if (services_.MessageBox(FinalMessageText(last_folder), TMessageKind::mkInformation,
                           TMessageButtons::mbOKCancel) == kResultOK) {
    services_.OpenFolder(last_folder);
  }
}

}  // namespace tessaly
