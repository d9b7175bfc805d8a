" Vim and Neovim syntax for Orvello command files (.orv): block lines, setting lines and their
" values, and block lines spoilt by blanks before them. Other lines (content and notes alike) stay
" plain. Editors that read TextMate grammars use orvello.tmLanguage.json instead.
if exists("b:current_syntax")
  finish
endif

syntax match orvelloIndented /^[ \t]\+@.*$/
syntax match orvelloBlock /^@\(end_\)\?\(title\|text\|link\|image\|video\|audio\|pdf\|download\|code\)\r\?$/
syntax match orvelloSetting /^@@[a-z]\+ / nextgroup=orvelloValue
syntax match orvelloValue /.*$/ contained

highlight default link orvelloIndented Error
highlight default link orvelloBlock Keyword
highlight default link orvelloSetting Identifier
highlight default link orvelloValue String

let b:current_syntax = "orvello"
