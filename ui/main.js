// The editor page: builds the kit's sections and the panels, listens to the
// plug-in, then tells it the page is ready. Everything shown is what the
// plug-in last said; the page keeps nothing of its own.
import { BankPanel, PadPanel } from './bank.js';
import { send, connect } from './bridge.js';
import { CcMapPanel } from './ccmap.js';
import { ParamControl } from './controls.js';
import { DiagnosticsPanel } from './diagnostics.js';
import { el, isNumber, isObject, isString } from './dom.js';
import { GROUPS, PARAMS } from './params.js';

const status = document.getElementById('status');
const presetMenu = document.getElementById('preset');
const announce = (text) => { status.textContent = text; };
const panel = (id) => document.querySelector(`#${id} .panel-body`);

const ccMap = new CcMapPanel(panel('cc-panel'), send, announce);
const bank = new BankPanel(panel('bank-panel'), send);
const pads = new PadPanel(panel('pads-panel'), send);
const diagnostics = new DiagnosticsPanel(panel('diag-panel'), send);

const gesture = {
  begin(path) {
    ccMap.touched(path);
    send({ type: 'kelvo.beginEdit', path });
  },
  change(path, value) { send({ type: 'kelvo.setParam', path, value }); },
  end(path) { send({ type: 'kelvo.endEdit', path }); },
};

const controls = new Map();
const kit = document.getElementById('kit');
for (const group of GROUPS) {
  const section = el('section', { class: 'group', 'aria-labelledby': `section-${group}` },
    el('h2', { id: `section-${group}` }, group));
  for (const param of PARAMS.filter((row) => row.group === group)) {
    const control = new ParamControl(param, gesture);
    controls.set(param.path, control);
    section.append(control.element);
  }
  kit.append(section);
}

function showPresets(presets, currentId) {
  const items = Array.isArray(presets) ?
    presets.filter((preset) => isObject(preset) && isString(preset.id) && isString(preset.name)) :
    [];
  presetMenu.replaceChildren(el('option', { value: '', disabled: true }, 'Choose a preset…'),
    ...items.map((preset) => el('option', { value: preset.id }, preset.name)));
  presetMenu.value = items.some((preset) => preset.id === currentId) ? currentId : '';
  presetMenu.disabled = items.length === 0;
}

function hello(message) {
  if (!Array.isArray(message.params)) return;
  for (const entry of message.params) {
    if (isObject(entry) && isString(entry.path) && isNumber(entry.value)) {
      controls.get(entry.path)?.set(entry.value);
    }
  }
  const presetState = isObject(message.presetState) ? message.presetState : {};
  showPresets(message.factoryPresets, presetState.currentId);
  ccMap.show(isObject(message.ccMap) ? message.ccMap : { bindings: [] });
  diagnostics.hello(message);
  const plugin = isObject(message.plugin) ? message.plugin : {};
  announce(`Connected to ${isString(plugin.name) ? plugin.name : 'the plug-in'}` +
    (isString(plugin.version) ? ` ${plugin.version}` : ''));
  document.body.dataset.connected = 'true';
  send({ type: 'kelvo.getBankState' });
}

// A preset the plug-in reports as loaded, when the user follows the lifecycle.
function presetFromLifecycle(message) {
  if (!Array.isArray(message.events)) return;
  for (const event of message.events) {
    const detail = isObject(event) && event.kind === 'presetLoaded' ? event.detail : null;
    if (isObject(detail) && detail.origin === 'factory' && isString(detail.id) &&
        [...presetMenu.options].some((option) => option.value === detail.id)) {
      presetMenu.value = detail.id;
    }
  }
}

const handlers = {
  'kelvo.hello': hello,
  'kelvo.paramChanged': (message) => {
    if (isString(message.path) && isNumber(message.value)) {
      controls.get(message.path)?.set(message.value);
    }
  },
  'kelvo.ccMapChanged': (message) => ccMap.show(message.map),
  'kelvo.bankState': (message) => {
    bank.showState(message);
    pads.show(message.pads);
  },
  'kelvo.folderPicked': (message) => bank.folderPicked(message),
  'kelvo.runtimeDiagnostics': (message) => diagnostics.showHealth(message.report),
  'kelvo.lifecycle': (message) => {
    diagnostics.lifecycleEvents(message);
    presetFromLifecycle(message);
  },
  'kelvo.transport': (message) => diagnostics.transportFrame(message),
  'kelvo.hostChanged': (message) => diagnostics.hostChanged(message),
  'kelvo.state': (message) => diagnostics.stateDocument(message),
};

presetMenu.addEventListener('change', () => {
  if (presetMenu.value) send({ type: 'kelvo.loadFactoryPreset', id: presetMenu.value });
});
document.getElementById('resync').addEventListener('click', () => send({ type: 'kelvo.ready' }));

if (!connect(handlers)) {
  announce('Not connected: this page runs inside the plug-in\'s editor or its browser harness.');
}
