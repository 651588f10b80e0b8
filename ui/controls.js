// One parameter's control: a slider that shows the value the controller last
// reported (or the page last sent, which the controller does not echo).
// Drag anywhere on it (Shift for fine steps), use the keys when it has focus,
// or double-click / press Enter to type a value.
import { el } from './dom.js';
import { fromPosition, parseTyped, toPosition, valueText } from './params.js';

const DRAG_PIXELS = 250;  // a drag this long covers the whole range
const FINE = 0.1;
const STEP = 0.01;
const PAGE_STEP = 0.1;

export class ParamControl {
  // gesture: { begin(path), change(path, plain), end(path) }
  constructor(param, gesture) {
    this.param = param;
    this.gesture = gesture;
    this.plain = param.min;
    this.known = false;
    this.open = false;     // a gesture is open with the controller
    this.drag = null;
    const labelId = `label-${param.path}`;
    this.fill = el('div', { class: 'fill' });
    this.output = el('output', { class: 'param-value', 'aria-hidden': 'true' }, '…');
    this.slider = el('div', {
      class: 'slider', role: 'slider', tabindex: '0', 'data-path': param.path,
      'aria-labelledby': `section-${param.group} ${labelId}`,
      'aria-valuemin': String(param.min), 'aria-valuemax': String(param.max),
      title: 'Drag (Shift: fine), arrow keys, or double-click / Enter to type',
      onpointerdown: (event) => this.pointerDown(event),
      onpointermove: (event) => this.pointerMove(event),
      onpointerup: () => this.pointerUp(),
      onpointercancel: () => this.pointerUp(),
      onkeydown: (event) => this.keyDown(event),
      onkeyup: () => this.endGesture(),
      onblur: () => this.endGesture(),
      ondblclick: () => this.startTyping(),
    }, el('div', { class: 'track' }, this.fill));
    this.element = el('div', { class: 'param', 'data-path': param.path },
      el('span', { class: 'param-name', id: labelId }, param.name),
      this.slider,
      el('div', { class: 'param-readout', ondblclick: () => this.startTyping() }, this.output));
  }

  // The controller's word on the value.
  set(plain) {
    this.plain = plain;
    this.known = true;
    this.render();
  }

  render() {
    const text = valueText(this.param, this.plain);
    this.output.textContent = text;
    this.fill.style.width = `${(toPosition(this.param, this.plain) * 100).toFixed(2)}%`;
    this.slider.setAttribute('aria-valuenow', String(this.plain));
    this.slider.setAttribute('aria-valuetext', text);
  }

  beginGesture() {
    if (this.open) return;
    this.open = true;
    this.gesture.begin(this.param.path);
  }

  endGesture() {
    if (!this.open) return;
    this.open = false;
    this.gesture.end(this.param.path);
  }

  // Sends a new value inside the open gesture; unchanged values are not sent.
  change(plain) {
    if (!this.known || plain === this.plain) return;
    this.beginGesture();
    this.plain = plain;
    this.render();
    this.gesture.change(this.param.path, plain);
  }

  pointerDown(event) {
    if (event.button !== 0 || !this.known) return;
    this.slider.focus();
    this.slider.setPointerCapture(event.pointerId);
    this.drag = { x: event.clientX, y: event.clientY, position: toPosition(this.param, this.plain) };
    event.preventDefault();
  }

  // Relative: right or up raises the value, from wherever the drag started.
  pointerMove(event) {
    if (!this.drag) return;
    const moved = (event.clientX - this.drag.x) - (event.clientY - this.drag.y);
    this.drag.x = event.clientX;
    this.drag.y = event.clientY;
    this.drag.position += (moved / DRAG_PIXELS) * (event.shiftKey ? FINE : 1);
    this.drag.position = Math.min(1, Math.max(0, this.drag.position));
    this.change(fromPosition(this.param, this.drag.position));
  }

  pointerUp() {
    this.drag = null;
    this.endGesture();
  }

  keyDown(event) {
    if (!this.known) return;
    if (event.key === 'Enter') {
      event.preventDefault();
      this.startTyping();
      return;
    }
    const position = this.nextPosition(event.key, event.shiftKey);
    if (position === null) return;
    event.preventDefault();
    this.change(fromPosition(this.param, position));
  }

  nextPosition(key, fine) {
    const here = toPosition(this.param, this.plain);
    const span = this.param.max - this.param.min;
    // Lists move one value per key press.
    const step = this.param.kind === 'list' ? 1 / span : fine ? STEP * FINE : STEP;
    const page = this.param.kind === 'list' ? 1 / span : PAGE_STEP;
    switch (key) {
      case 'ArrowUp': case 'ArrowRight': return here + step;
      case 'ArrowDown': case 'ArrowLeft': return here - step;
      case 'PageUp': return here + page;
      case 'PageDown': return here - page;
      case 'Home': return 0;
      case 'End': return 1;
      default: return null;
    }
  }

  // A text field in place of the readout; Enter or leaving it commits,
  // Escape cancels. A typed value is one edit of its own.
  startTyping() {
    if (!this.known || this.element.querySelector('input')) return;
    const readout = this.element.querySelector('.param-readout');
    const input = el('input', {
      class: 'param-entry', type: 'text', 'aria-label': `${this.param.group} ${this.param.name}`,
      value: this.param.kind === 'list' ? valueText(this.param, this.plain) : String(this.plain),
    });
    let done = false;
    const finish = (commit) => {
      if (done) return;
      done = true;
      const plain = commit ? parseTyped(this.param, input.value) : null;
      input.replaceWith(this.output);
      this.slider.focus();
      if (plain !== null) {
        this.change(plain);
        this.endGesture();
      }
    };
    input.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') finish(true);
      if (event.key === 'Escape') finish(false);
    });
    input.addEventListener('blur', () => finish(true));
    readout.replaceChildren(input);
    input.focus();
    input.select();
  }
}
