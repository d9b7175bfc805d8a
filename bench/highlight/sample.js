// Copy a listing's text to the clipboard.
const buttons = document.querySelectorAll("button.copy");

function textOf(listing) {
  return Array.from(listing.querySelectorAll("code"))
    .map((line) => line.textContent)
    .join("\n");
}

async function copy(button) {
  const listing = button.closest("figure");
  try {
    await navigator.clipboard.writeText(textOf(listing));
    button.textContent = "Copied";
  } catch (error) {
    console.error(error);
    button.textContent = "Failed";
  }
  setTimeout(() => {
    button.textContent = "Copy";
  }, 2000);
}

for (const button of buttons) {
  button.hidden = false;
  button.addEventListener("click", () => copy(button));
}

const count = buttons.length;
let message = `${count} listings`;
export { copy, textOf, message };
