// The editor page in headless Chromium, talking through tambro-ui-harness to
// a real controller: what it shows, what its edits do in the host, and that
// nothing the host sends can break it. Run by run_browser_tests.sh.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import path from 'node:path';
import { chromium } from 'playwright-core';

const PAGE_URL = process.env.HARNESS_URL;
const BASE = new URL('/', PAGE_URL).href.replace(/\/$/, '');
const PROGRAM_ID = 1057030145;
const FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--no-first-run', '--disable-sync'];

let browser;
let page;
const pageErrors = [];

async function harness(request, method = 'GET') {
  const response = await fetch(`${BASE}/harness/${request}`, { method });
  assert.equal(response.status, 200, `${method} ${request}`);
  return response.json();
}

const edits = async () => (await harness('edits')).edits;
const slider = (param) => page.locator(`.slider[data-path="${param}"]`);
const readout = (param) => page.locator(`.param[data-path="${param}"] .param-value`);
const seen = (type) => page.evaluate((t) => window.seen.filter((m) => m && m.type === t), type);

// Every message the page sent before this call has been handled once the
// controller's answer to this one is back: the bridge keeps their order.
async function settle() {
  const count = (await seen('kelvo.bankState')).length;
  await page.evaluate(() => window.kelvoHost.postMessage({ type: 'kelvo.getBankState' }));
  await page.waitForFunction((n) =>
    window.seen.filter((m) => m && m.type === 'kelvo.bankState').length > n, count);
}

async function waitForMessage(type, predicate) {
  await page.waitForFunction(({ t, source }) => window.seen.some((m) => m && m.type === t &&
    new Function('m', `return ${source}`)(m)), { t: type, source: predicate });
}

before(async () => {
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM, args: FLAGS });
  page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  page.on('console', (message) => {
    if (message.type() === 'error') pageErrors.push(message.text());
  });
  await page.goto(PAGE_URL);
  // A second listener that records what the page is told.
  await page.evaluate(() => {
    window.seen = [];
    window.kelvoHost.onMessage((message) => window.seen.push(message));
  });
});

after(() => browser?.close());

test('the page says it is ready and shows all 18 parameters as the controller has them', async () => {
  await page.waitForSelector('body[data-connected="true"]');
  const params = page.locator('.param');
  assert.equal(await params.count(), 18);
  for (let id = 0; id < 18; id += 1) {
    const host = await harness(`param?id=${id}`);
    const row = params.nth(id);
    const name = await row.locator('.param-name').textContent();
    const shown = await row.locator('.param-value').textContent();
    const now = Number(await row.locator('.slider').getAttribute('aria-valuenow'));
    assert.equal(name, host.title, `parameter ${id}`);
    if (Number.isNaN(Number(host.text))) {
      assert.equal(shown, host.text, `list parameter ${id}`);
    } else {
      // The page rounds its text to what the range needs; the value is exact.
      const expected = Number(host.text);
      assert.equal(now, expected, `parameter ${id} value`);
      const [number, units = ''] = shown.split(' ');
      assert.ok(Math.abs(Number(number) - expected) <= Math.max(5e-4, expected * 1e-3), shown);
      assert.equal(units, host.units, `parameter ${id} units`);
    }
  }
  assert.ok((await page.locator('#preset option').count()) >= 7);
});

test('keyboard and typed edits reach the host as gestures and are not echoed back', async () => {
  await page.evaluate(() => { window.seen = []; });
  await harness('clear', 'POST');
  await slider('kick.tune').focus();
  await page.keyboard.press('ArrowUp');
  await settle();
  const calls = await edits();
  assert.deepEqual(calls.map((edit) => [edit.call, edit.id]),
    [['begin', 0], ['perform', 0], ['end', 0]]);
  const host = await harness('param?id=0');
  assert.equal(host.normalized, calls[1].value);
  assert.equal(await readout('kick.tune').textContent(), `${Number(host.text).toFixed(1)
    .replace(/\.0$/, '')} Hz`);
  assert.deepEqual(await seen('kelvo.paramChanged'), []);

  await harness('clear', 'POST');
  await slider('tom.tune').dblclick();
  await page.fill('.param[data-path="tom.tune"] .param-entry', '150 Hz');
  await page.press('.param[data-path="tom.tune"] .param-entry', 'Enter');
  await settle();
  assert.deepEqual((await edits()).map((edit) => [edit.call, edit.id]),
    [['begin', 6], ['perform', 6], ['end', 6]]);
  assert.equal((await harness('param?id=6')).text, '150');
  assert.equal(await readout('tom.tune').textContent(), '150 Hz');
});

test('a drag is one gesture; Shift makes it finer', async () => {
  const dragBy = async (param, pixels, fine) => {
    const box = await slider(param).boundingBox();
    const x = box.x + box.width / 2;
    const y = box.y + box.height / 2;
    await page.mouse.move(x, y);
    await page.mouse.down();
    if (fine) await page.keyboard.down('Shift');
    await page.mouse.move(x + pixels, y, { steps: 5 });
    if (fine) await page.keyboard.up('Shift');
    await page.mouse.up();
    await settle();
  };
  const value = async (param) => Number(await slider(param).getAttribute('aria-valuenow'));
  await page.evaluate(() => { window.seen = []; });
  await harness('clear', 'POST');
  const start = await value('snare.tune');
  await dragBy('snare.tune', 50, false);
  const coarse = await value('snare.tune') - start;
  const calls = await edits();
  assert.ok(coarse > 0);
  assert.deepEqual([calls[0].call, calls.at(-1).call], ['begin', 'end']);
  assert.ok(calls.every((edit) => edit.id === 3));
  assert.ok(calls.filter((edit) => edit.call === 'perform').length >= 2);
  assert.equal((await harness('param?id=3')).normalized, calls.at(-2).value);
  assert.deepEqual(await seen('kelvo.paramChanged'), []);

  const before = await value('snare.tune');
  await dragBy('snare.tune', 50, true);
  const fine = await value('snare.tune') - before;
  assert.ok(Math.abs(fine - coarse / 10) < 1e-6 * coarse, `${fine} vs ${coarse}`);
});

test('choosing a factory preset applies it', async () => {
  await harness('clear', 'POST');
  await page.selectOption('#preset', 'factory-3');
  await page.waitForFunction(() =>
    document.querySelector('.slider[data-path="kick.tune"]').getAttribute('aria-valuenow') === '55');
  assert.equal((await harness('param?id=0')).text, '55');
  const program = (await edits()).filter((edit) => edit.id === PROGRAM_ID).map((e) => e.call);
  assert.deepEqual(program, ['begin', 'perform', 'end']);
});

test('the CC map editor round-trips through the controller, Learn included', async () => {
  await page.evaluate(() => { window.seen = []; });
  await page.click('text=Add binding');
  await waitForMessage('kelvo.ccMapChanged', 'm.map.bindings.length === 1');
  const row = page.locator('.cc-row').first();
  await row.locator('[data-field="path"]').selectOption('snare.tune');
  await row.locator('[data-field="channel"]').selectOption('5');
  await waitForMessage('kelvo.ccMapChanged',
    'm.map.bindings[0].path === "snare.tune" && m.map.bindings[0].channel === 5');
  assert.equal(await page.locator('.cc-row [data-field="channel"]').inputValue(), '5');

  await page.locator('.cc-row [data-field="learn"]').click();
  await slider('hat.metal').focus();
  await page.keyboard.press('ArrowDown');
  await waitForMessage('kelvo.ccMapChanged', 'm.map.bindings[0].path === "hat.metal"');
  assert.equal(await page.locator('.cc-row [data-field="path"]').inputValue(), 'hat.metal');

  await page.locator('.cc-row [data-field="remove"]').click();
  await waitForMessage('kelvo.ccMapChanged', 'm.map.bindings.length === 0');
  await page.waitForSelector('#cc-panel >> text=No bindings.');
});

test('the bank panel and the pad overrides round-trip through the controller', async () => {
  await page.fill('input[name="bankPath"]', '/nonexistent/tambro-bank');
  await page.click('text=Load bank');
  await page.locator('.bank-status', { hasText: '/nonexistent/tambro-bank' }).waitFor();
  assert.match(await page.locator('.bank-status').textContent(), /Errorbank-[a-z-]+ /);
  await page.click('text=Pick…');
  await page.waitForSelector('text=No folder picker: this build has no folder picker');

  // This build's engine refuses every bank, so a loaded one is shown from a
  // state delivered here; its preset button still asks the controller.
  await page.evaluate(() => window.kelvoHost._deliver({ type: 'kelvo.bankState', reason: 'loadBank',
    pads: {}, runtime: { source: 'user-folder', locator: '/banks/test',
      instrument: { id: 'drums', name: 'Drums', list: 'drums' }, positionings: [] },
    presets: { bankScoped: true, items: [{ id: 'deep', name: 'Deep Kick', instrument: 'drums' }] },
  }));
  await page.locator('.bank-status', { hasText: 'Drums (drums)' }).waitFor();
  await page.click('.bank-presets >> text=Deep Kick');
  await page.locator('.bank-status', { hasText: 'bank-missing deep' }).waitFor();

  await page.fill('input[name="padId"]', 'snare-1');
  await page.click('text=Add pad');
  const pad = page.locator('.pad[data-pad="snare-1"]');
  await pad.waitFor();
  assert.equal(await pad.locator('[data-field="gain"]').inputValue(), '1');
  await pad.locator('[data-field="transpose"]').fill('3');
  await pad.locator('[data-field="transpose"]').press('Tab');
  await waitForMessage('kelvo.bankState', 'm.pads["snare-1"] && m.pads["snare-1"].transpose === 3');
  await pad.locator('[data-field="remove"]').click();
  await page.waitForSelector('#pads-panel >> text=No pad overrides.');
});

test('malformed messages never break the page, and host automation moves the control', async () => {
  await page.evaluate(() => {
    const bad = [null, 42, 'text', [], {}, { type: 7 }, { type: 'kelvo.unknown' },
      { type: 'toString' }, { type: '__proto__' }, { type: 'kelvo.hello' },
      { type: 'kelvo.hello', params: 'x', factoryPresets: 5, ccMap: [], presetState: 'x',
        identity: [], host: 3 },
      { type: 'kelvo.hello', params: [null, 1, { path: 5 }, { path: 'kick.tune', value: 'x' },
        { path: 'nope', value: 1 }, { path: 'kick.tune', value: NaN }] },
      { type: 'kelvo.paramChanged' }, { type: 'kelvo.paramChanged', path: 'kick.tune', value: null },
      { type: 'kelvo.paramChanged', path: 'kick.tune', value: Infinity },
      { type: 'kelvo.paramChanged', path: '__proto__', value: 1 },
      { type: 'kelvo.ccMapChanged' }, { type: 'kelvo.ccMapChanged', map: 'x' },
      { type: 'kelvo.ccMapChanged', map: { bindings: [null, { cc: 'x' }, { cc: 1, path: 'nope' },
        { cc: 2, path: 'kick.tune', channel: 'x', curve: 5, enabled: 'no' }] } },
      { type: 'kelvo.bankState', pads: [1], runtime: 'x', presets: 'x', error: 5 },
      { type: 'kelvo.bankState', runtime: { instrument: 'x', positionings: [null, { id: 3 }] },
        presets: { bankScoped: true, items: [null, { id: 3 }, { id: 'p', name: 7 }] } },
      { type: 'kelvo.bankState', pads: { '<img src=x onerror=alert(1)>': { gain: 'x' } } },
      { type: 'kelvo.folderPicked', ok: true, path: 5 }, { type: 'kelvo.folderPicked' },
      { type: 'kelvo.lifecycle', events: {} },
      { type: 'kelvo.lifecycle', events: [null, { seq: 'x' }, { seq: 1, detail: 'x' },
        { seq: 2, kind: 'presetLoaded', detail: { origin: 'factory', id: 5 } }] },
      { type: 'kelvo.transport', frame: { state: null } }, { type: 'kelvo.transport', frame: 1 },
      { type: 'kelvo.hostChanged', host: 'x' }, { type: 'kelvo.runtimeDiagnostics' },
      { type: 'kelvo.state', state: 1 }];
    for (const message of bad) window.kelvoHost._deliver(message);
  });
  assert.deepEqual(pageErrors, []);
  assert.equal(await page.locator('img').count(), 0);
  // Host automation still moves the control.
  await harness('automate?id=0&value=0.5', 'POST');
  await page.waitForFunction(() => document.querySelector(
    '.param[data-path="kick.tune"] .param-value').textContent === '75 Hz');
  assert.equal(await slider('kick.tune').getAttribute('aria-valuenow'), '75');
  await page.click('#resync');
  await settle();
  assert.equal(await page.locator('.param').count(), 18);
});

test('the page fits 620 x 500 and 1600 x 1200 (screenshots kept)', async () => {
  for (const [width, height] of [[620, 500], [1600, 1200]]) {
    await page.setViewportSize({ width, height });
    await page.evaluate(() => window.scrollTo(0, 0));
    const overflow = await page.evaluate(() =>
      document.documentElement.scrollWidth - document.documentElement.clientWidth);
    assert.ok(overflow <= 0, `${width} x ${height} scrolls sideways by ${overflow}px`);
    await page.screenshot({ path: path.join(process.env.ARTIFACTS, `editor-${width}x${height}.png`) });
  }
  assert.deepEqual(pageErrors, []);
});
