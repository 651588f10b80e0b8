// Small helpers shared by the page's modules. Texts from the plug-in are
// only ever set as text, never parsed as markup.

// el('div', { class: 'x', onclick: fn }, child, 'text', ...)
export function el(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === undefined || value === null || value === false) continue;
    if (name.startsWith('on') && typeof value === 'function') {
      node.addEventListener(name.slice(2), value);
    } else if (name in node && typeof value !== 'string') {
      node[name] = value;
    } else {
      node.setAttribute(name, value === true ? '' : String(value));
    }
  }
  for (const child of children.flat()) {
    if (child === null || child === undefined || child === false) continue;
    node.append(child instanceof Node ? child : String(child));
  }
  return node;
}

export const isObject = (value) =>
  value !== null && typeof value === 'object' && !Array.isArray(value);
export const isNumber = (value) => typeof value === 'number' && Number.isFinite(value);
export const isString = (value) => typeof value === 'string';
export const isBool = (value) => typeof value === 'boolean';

// The members of an object whose values pass `check`, as [key, value] pairs.
export function entriesOf(value, check) {
  return isObject(value) ? Object.entries(value).filter(([, member]) => check(member)) : [];
}

// A JSON value as readable nested lines, for the diagnostics panel.
export function describe(value) {
  return JSON.stringify(value, null, 2) ?? '';
}
