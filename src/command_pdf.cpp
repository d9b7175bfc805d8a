#include "command_pdf.h"

#include <cstdint>

#include "block_records.h"
#include "framed_blocks.h"
#include "html_buffer.h"
#include "page_context.h"

namespace {

// The field of the pdf record that a key fills.
template <auto field>
constexpr auto pdf_field = &record_field<&block_records::pdf, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key pdf_keys[] = {
    {"@@src ", pdf_field<&pdf_template_config::src>},
    {"@@url ", pdf_field<&pdf_template_config::src>},
    {"@@width ", pdf_field<&pdf_template_config::width>},
    {"@@height ", pdf_field<&pdf_template_config::height>},
    {"@@buttontext ", pdf_field<&pdf_template_config::buttontext>},
};

// In a framed page the frame is named after its button, as every frame needs an accessible name.
std::string frame_name(const pdf_template_config& pdf_config, std::ostream& page) {
  if (!blocks_are_framed(page)) {
    return {};
  }
  return " title=\"" + escape_quotes(html_escape(pdf_config.buttontext)) + "\"";
}

void write_frame(const pdf_template_config& pdf_config, std::ostream& page, const std::string& id) {
  page << "  <!-- No PC: Carrega o leitor nativo alinhado à esquerda -->\n"
       << "  <iframe id=\"" << id << "\" class=\"pdf pc-only-pdf\"" << frame_name(pdf_config, page)
       << " style=\"width: " << escape_quotes(dimension_with_unit(pdf_config.width))
       << "; height: " << escape_quotes(dimension_with_unit(pdf_config.height))
       << "; border: none;\" frameborder=\"0\"></iframe>\n"
       << "  \n";
}

// The button must be the frame's next element: the script shows it on phones and tablets.
void write_mobile_button(const pdf_template_config& pdf_config, std::ostream& page) {
  page << "  <!-- No Android/Telemóvel: Botão Vermelho Limpo (Sem Ícone) com Letras Brancas -->\n"
       << "  <div class=\"mobile-only-pdf\" style=\"display: none; padding: 15px 0;\">\n"
       << "    <a href=\"" << escape_quotes(pdf_config.src)
       << "\" target=\"_blank\" style=\"display: inline-block; padding: 12px 24px; "
          "background-color: #ff0000; color: #ffffff; font-weight: bold; border-radius: 6px; "
          "text-decoration: none; font-family: sans-serif; box-shadow: 0 2px 5px "
          "rgba(0,0,0,0.2);\">\n"
       << "      " << html_escape(pdf_config.buttontext) << "\n"
       << "    </a>\n"
       << "  </div>\n"
       << "  \n";
}

void write_script(const pdf_template_config& pdf_config, std::ostream& page,
                  const std::string& id) {
  page << "  <script>\n"
       << "    (function() {\n"
       << "      var src = \"" << javascript_string_escape(pdf_config.src) << "\";\n"
       << "      var iframe = document.getElementById(\"" << id << "\");\n"
       << "      \n"
       << "      if (/Android|iPhone|iPad|iPod/i.test(navigator.userAgent)) {\n"
       << "        iframe.style.display = 'none';\n"
       << "        iframe.nextElementSibling.style.display = 'block';\n"
       << "      } else {\n"
       << "        if (window.location.protocol === 'file:') {\n"
       << "          iframe.src = src;\n"
       << "        } else {\n"
       << "          var baseElem = document.getElementsByTagName('base')[0];\n"
       << "          var basePath = baseElem ? baseElem.getAttribute('href') : "
          "window.location.pathname.replace(/\\/[^\\/]*$/, '/');\n"
       << "          var cleanSrc = src.replace(/^\\/?(site\\/)?/, '');\n"
       << "          var absUrl = window.location.origin + '/' + basePath.replace(/^\\/|\\/$/g, "
          "'') + '/' + cleanSrc;\n"
       << "          iframe.src = absUrl.replace(/([^:]\\/)\\/+/g, '$1');\n"
       << "        }\n"
       << "      }\n"
       << "    })();\n"
       << "  </script>\n";
}

// The PDF counter numbers the PDF blocks of the whole run, so that every frame of the site has its
// own id.
void write_pdf(page_context& context, std::ostream& page) {
  hand_over(context.html, page);  // the page so far, before it is written directly
  block_records& records = context.records;
  const std::string id = "pdf_player_" + std::to_string(++records.pdf_counter);
  write_frame(records.pdf, page, id);
  write_mobile_button(records.pdf, page);
  write_script(records.pdf, page, id);
}

}  // namespace

void command_pdf(std::string_view line, bool& in_block, page_context& context, std::ostream& page) {
  follow_block_protocol(
      line, pdf_block, in_block, context.records.pdf,
      [&](std::string_view setting) { apply_setting(setting, pdf_keys, context.records); },
      [&] { write_pdf(context, page); });
}

std::span<const setting_key> pdf_settings(const prose_settings&) {
  return pdf_keys;
}
