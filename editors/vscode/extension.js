// Starts `orvello lsp` for the .orv files of the workspace and stops it with the editor.
const vscode = require("vscode");
const { LanguageClient } = require("vscode-languageclient/node");

let client;

function activate() {
  const command = vscode.workspace.getConfiguration("orvello").get("path", "orvello");
  client = new LanguageClient(
    "orvello",
    "Orvello",
    { command, args: ["lsp"] },
    { documentSelector: [{ scheme: "file", language: "orvello" }] },
  );
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
