#include "pdf_assembly.h"

#include <exception>
#include <span>
#include <string_view>
#include <vector>

#include "pagefile/file_ops.h"
#include "page_geometry.h"
#include "page_image.h"
#include "pdf_messages.h"
#include "pdf_text.h"
#include "pdf_writer.h"

namespace folvane {
namespace {

std::string HexString(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = "<";
  for (std::uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  out.push_back('>');
  return out;
}

std::string ColorSpace(const PageImage& image) {
  switch (image.colorModel) {
    case PdfColorModel::kGray: return "/DeviceGray";
    case PdfColorModel::kRgb: return "/DeviceRGB";
    case PdfColorModel::kCmyk: return "/DeviceCMYK";
    case PdfColorModel::kIndexed:
      return "[/Indexed /DeviceRGB " + std::to_string(image.palette.size() / 3 - 1) + " " +
             HexString(image.palette) + "]";
  }
  return "/DeviceGray";
}

int Colors(const PageImage& image) {
  switch (image.colorModel) {
    case PdfColorModel::kRgb: return 3;
    case PdfColorModel::kCmyk: return 4;
    default: return 1;
  }
}

std::string ImageDictionary(const PageImage& image) {
  const std::string width = std::to_string(image.width);
  std::string d = " /Type /XObject /Subtype /Image /Width " + width + " /Height " + std::to_string(image.height) +
                  " /ColorSpace " + ColorSpace(image) + " /BitsPerComponent " +
                  std::to_string(image.bitsPerComponent);
  if (image.encoding == PdfImageEncoding::kCcittG4) {
    d += " /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns " + width + " /Rows " +
         std::to_string(image.height) + (image.blackIs1 ? " /BlackIs1 true" : "") + " >>";
  } else {
    d += " /Filter /FlateDecode";
    if (image.tiffPredictor)
      d += " /DecodeParms << /Predictor 2 /Colors " + std::to_string(Colors(image)) + " /BitsPerComponent " +
           std::to_string(image.bitsPerComponent) + " /Columns " + width + " >>";
  }
  return d;
}

// One page: its image, its content (the image filling the page) and the page
// object. Returns the page object's number.
PdfObjectId WritePage(PdfWriter& pdf, PdfObjectId pagesId, const PageImage& image) {
  const PageSize size = PageSizeForImage(image.width, image.height, image.xDpi, image.yDpi);
  const std::string w = PdfReal(size.width), h = PdfReal(size.height);

  const PdfObjectId imageId = pdf.Reserve();
  if (image.passedThrough)
    pdf.WriteStreamObject(imageId, ImageDictionary(image), image.strip);
  else
    pdf.WriteStreamObject(imageId, ImageDictionary(image), image.data);

  const std::string content = "q\n" + w + " 0 0 " + h + " 0 0 cm\n/Im0 Do\nQ\n";
  const PdfObjectId contentId = pdf.Reserve();
  pdf.WriteStreamObject(contentId, "",
                        std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));

  const char* procSet = image.colorModel == PdfColorModel::kIndexed ? "/ImageI"
                        : image.colorModel == PdfColorModel::kGray  ? "/ImageB"
                                                                    : "/ImageC";
  const PdfObjectId pageId = pdf.Reserve();
  pdf.WriteObject(pageId, "<< /Type /Page /Parent " + std::to_string(pagesId) + " 0 R /MediaBox [0 0 " + w + " " +
                              h + "] /Resources << /XObject << /Im0 " + std::to_string(imageId) +
                              " 0 R >> /ProcSet [/PDF " + procSet + "] >> /Contents " +
                              std::to_string(contentId) + " 0 R >>");
  return pageId;
}

std::string InfoDictionary(const PdfDocumentInfo& info) {
  if (const auto& u = info.unicode) {
    return "<< /Creator " + PdfTextStringFromUtf16(u->creator) + "\n/Author " + PdfTextStringFromUtf16(u->author) +
           "\n/Title " + PdfTextStringFromUtf16(u->title) + "\n/Subject " + PdfTextStringFromUtf16(u->subject) +
           " >>";
  }
  return "<< /Creator " + PdfTextStringFromGbk(info.creator) + "\n/Author " + PdfTextStringFromGbk(info.author) +
         "\n/Title " + PdfTextStringFromGbk(info.title) + "\n/Subject " + PdfTextStringFromGbk(info.subject) + " >>";
}

// Where the document is written until it is complete: beside the chosen
// file, as "<name>.part"; where that name would be too long for the system,
// a sibling of the chosen name's own length (its last character replaced).
// Only a name that nothing has yet is used, so no file of the user's is
// overwritten or removed on the way.
std::vector<std::string> PartialNames(const std::string& outputPath) {
  std::vector<std::string> names{outputPath + ".part"};
  if (!outputPath.empty()) {
    for (char last : std::string_view("~_-0123456789")) {
      if (outputPath.back() == last) continue;
      std::string sibling = outputPath;
      sibling.back() = last;
      names.push_back(std::move(sibling));
    }
  }
  return names;
}

PdfAssemblyResult Failure(PdfAssemblyResult result, PdfAssemblyOutcome outcome, const char* message) {
  result.outcome = outcome;
  result.deletePages = false;
  result.message = message;
  result.pagesWritten = 0;
  return result;
}

}  // namespace

PdfAssemblyResult AssemblePdf(const std::vector<std::string>& pageFiles, const std::string& outputPath,
                              const PdfDocumentInfo& info, std::ostream& standardOutput) {
  PdfAssemblyResult result;
  auto cannotCreate = [&] {
    standardOutput << msg::kPdfCannotCreateConsole << std::flush;
    return Failure(std::move(result), PdfAssemblyOutcome::kCannotCreate, msg::kPdfCannotCreate);
  };
  // The document is written beside the chosen file and replaces it only when
  // complete, so a run that fails leaves the user's older file as it was.
  PdfWriter pdf;
  std::string partial;
  try {
    for (const std::string& candidate : PartialNames(outputPath)) {
      if (NameIsFree(candidate) && pdf.Open(candidate)) {
        partial = candidate;
        break;
      }
    }
  } catch (const std::exception&) {
  }
  if (partial.empty()) return cannotCreate();
  // From here on every failure leaves no partial file behind.
  auto removePartial = [&] {
    pdf.Abandon();
    RemoveFileIfPresent(partial);
  };
  try {
    const PdfObjectId catalogId = pdf.Reserve();
    const PdfObjectId pagesId = pdf.Reserve();
    const PdfObjectId infoId = pdf.Reserve();
    pdf.WriteObject(catalogId, "<< /Type /Catalog /Pages " + std::to_string(pagesId) + " 0 R >>");
    pdf.WriteObject(infoId, InfoDictionary(info));

    std::string kids;
    for (std::uint32_t i = 0; i < pageFiles.size() && !pdf.Failed(); ++i) {
      std::optional<PageImage> image = LoadPageImage(pageFiles[i]);
      if (!image) {
        result.skippedPages.push_back(i);
        continue;
      }
      kids += std::to_string(WritePage(pdf, pagesId, *image)) + " 0 R ";
      ++result.pagesWritten;
    }
    if (result.pagesWritten == 0 && !pdf.Failed()) {
      removePartial();
      return Failure(std::move(result), PdfAssemblyOutcome::kNoPage, msg::kPdfNoPage);
    }
    pdf.WriteObject(pagesId, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(result.pagesWritten) +
                                 " >>");
    if (!pdf.Finish(catalogId, infoId)) {
      removePartial();
      return Failure(std::move(result), PdfAssemblyOutcome::kWriteFailed, msg::kPdfWriteFailed);
    }
  } catch (const std::exception&) {  // out of memory for the page list; nothing escapes to the control
    removePartial();
    return Failure(std::move(result), PdfAssemblyOutcome::kWriteFailed, msg::kPdfWriteFailed);
  }
  // The chosen file cannot be replaced: another program holds it open, or it
  // is read-only.
  if (!MoveFileOver(partial, outputPath)) {
    RemoveFileIfPresent(partial);
    return cannotCreate();
  }
  result.outcome = PdfAssemblyOutcome::kWritten;
  result.deletePages = true;
  return result;
}

}  // namespace folvane
