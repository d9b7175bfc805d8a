// PDF blocks as pages show them, and their numbering across the run.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

const std::string default_caption = "View / Download PDF Document";

struct pdf_values {
  std::string id, href, script_src, width, height, caption;
};

std::string pdf(const pdf_values& v) {
  return "  <!-- No PC: Carrega o leitor nativo alinhado \xc3\xa0 esquerda -->\n"
         "  <iframe id=\"" +
         v.id + "\" class=\"pdf pc-only-pdf\" style=\"width: " + v.width + "; height: " + v.height +
         "; border: none;\" frameborder=\"0\"></iframe>\n"
         "  \n"
         "  <!-- No Android/Telem\xc3\xb3vel: Bot\xc3\xa3o Vermelho Limpo (Sem \xc3\x8d"
         "cone) com "
         "Letras Brancas -->\n"
         "  <div class=\"mobile-only-pdf\" style=\"display: none; padding: 15px 0;\">\n"
         "    <a href=\"" +
         v.href +
         "\" target=\"_blank\" style=\"display: inline-block; "
         "padding: 12px 24px; background-color: #ff0000; color: #ffffff; font-weight: bold; "
         "border-radius: 6px; text-decoration: none; font-family: sans-serif; box-shadow: 0 2px "
         "5px rgba(0,0,0,0.2);\">\n"
         "      " +
         v.caption +
         "\n"
         "    </a>\n"
         "  </div>\n"
         "  \n"
         "  <script>\n"
         "    (function() {\n"
         "      var src = \"" +
         v.script_src +
         "\";\n"
         "      var iframe = document.getElementById(\"" +
         v.id +
         "\");\n"
         "      \n"
         "      if (/Android|iPhone|iPad|iPod/i.test(navigator.userAgent)) {\n"
         "        iframe.style.display = 'none';\n"
         "        iframe.nextElementSibling.style.display = 'block';\n"
         "      } else {\n"
         "        if (window.location.protocol === 'file:') {\n"
         "          iframe.src = src;\n"
         "        } else {\n"
         "          var baseElem = document.getElementsByTagName('base')[0];\n"
         "          var basePath = baseElem ? baseElem.getAttribute('href') : "
         "window.location.pathname.replace(/\\/[^\\/]*$/, '/');\n"
         "          var cleanSrc = src.replace(/^\\/?(site\\/)?/, '');\n"
         "          var absUrl = window.location.origin + '/' + basePath.replace(/^\\/|\\/$/g, '') "
         "+ '/' + cleanSrc;\n"
         "          iframe.src = absUrl.replace(/([^:]\\/)\\/+/g, '$1');\n"
         "        }\n"
         "      }\n"
         "    })();\n"
         "  </script>\n";
}

std::string default_pdf(const std::string& id, const std::string& src = "") {
  return pdf({id, src, src, "1000px", "480px", default_caption});
}

}  // namespace

using PdfBlock = ScratchRun;

TEST_F(PdfBlock, WritesViewerButtonAndScriptNumberedAcrossTheRun) {
  write_project({
      {"a.orv",
       "@pdf\n@end_pdf\n"
       "@pdf\n@@src docs/a b.pdf\n@@url docs/manual.pdf\n@@width 100%\n@@height 600\n"
       "@@buttontext Open the manual\n@end_pdf\n"},
      {"b.orv", "@pdf\n@@width 50em\n@@height auto\n@@buttontext \n@end_pdf\n"},
      {"c.orv",
       "@pdf\n@@src a\"b\\c</script>&<x>.pdf\n@@width 1\"\n@@buttontext <b>&\"q\"\n"
       "@end_pdf\n"},
      {"d.orv",
       "@pdf\n@@src kept.pdf\n@pdf\n@@buttontext Ignored text follows\nplain line\n"
       "@end_pdf\r\r\n@end_pdf\n"},
  });
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status) << result.err;
  const std::vector<std::string> order = compiled_order(result.out);
  ASSERT_EQ(4u, order.size());
  // The blocks are numbered in the order the pages were compiled.
  int next = 1;
  for (const std::string& page : order) {
    const std::string body = page_body(read("site/" + page.substr(0, 1) + ".htm"));
    const auto id = [&] { return "pdf_player_" + std::to_string(next++); };
    if (page == "a.orv") {
      const std::string first = default_pdf(id());
      EXPECT_EQ(first + pdf({id(), "docs/manual.pdf", "docs/manual.pdf", "100%", "600px",
                             "Open the manual"}),
                body);
    } else if (page == "b.orv") {
      EXPECT_EQ(pdf({id(), "", "", "50empx", "auto", ""}), body);
    } else if (page == "c.orv") {
      EXPECT_EQ(pdf({id(), "a&quot;b\\c</script>&<x>.pdf", "a\\\"b\\\\c\\x3C/script>&\\x3Cx>.pdf",
                     "1&quot;px", "480px", "&lt;b&gt;&amp;\"q\""}),
                body);
    } else {
      EXPECT_EQ(pdf({id(), "", "", "1000px", "480px", "Ignored text follows"}), body);
    }
  }
}

TEST_F(PdfBlock, ClosingLineAloneRepeatsTheLastBlockWithTheNextNumber) {
  write_project({{"only.orv", "@end_pdf\n@pdf\n@@src x.pdf\n@end_pdf\n@end_pdf\n"}});
  ASSERT_EQ(0, run().exit_status);
  EXPECT_EQ(default_pdf("pdf_player_1") + default_pdf("pdf_player_2", "x.pdf") +
                default_pdf("pdf_player_3", "x.pdf"),
            page_body(read("site/only.htm")));
}
