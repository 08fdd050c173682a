// SPDX-License-Identifier: Apache-2.0
// kelo view in a real browser: emulator programs and kelo view run on
// loopback addresses of this test's own, headless Debian Chromium opens the
// page, and the test looks at what the page draws and what the terminal
// says. Screenshots are kept in BUILD/viewer-test/.
//   node viewer_test.mjs BUILD_DIR
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

// Three scanners; the page is served on the first one's address.
const [A, B, C] = ['127.70.14.1', '127.70.14.2', '127.70.14.3'];
const SERIALS = { [A]: 1001, [B]: 2002, [C]: 3003 };
const CHROMIUM_FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-sync',
  '--disable-background-networking', '--disable-component-update', '--disable-dev-shm-usage'];  // small /dev/shm
const STEP_TIMEOUT = 15000;

const buildDir = path.resolve(process.argv[2] ?? 'build');
const bin = (name) => path.join(buildDir, 'bin', name);
const shots = path.join(buildDir, 'viewer-test');
mkdirSync(shots, { recursive: true });
const started = Date.now();
const children = [];

function run(program, args) {
  const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  child.output = '';
  child.stdout.on('data', (d) => { child.output += d; });
  child.stderr.on('data', (d) => { child.output += d; });
  child.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  children.push(child);
  return child;
}

async function waitFor(what, test, timeout = STEP_TIMEOUT) {
  const until = Date.now() + timeout;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > until) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

// How a child ended, or null when it has not within `ms`.
const endOf = (child, ms) => Promise.race([child.exited, new Promise((r) => setTimeout(() => r(null), ms).unref())]);

const startEmulator = (address) =>
  run(bin('kelo-scanner-emulator'), ['--bind', address, '--serial', String(SERIALS[address]), '--verbose', '--seconds', '120']);
const listening = (emulator) => waitFor('an emulator', () => emulator.output.includes('listening on'));
const commandsOf = (emulator) => [...emulator.output.matchAll(/command (\d+),/g)].map((m) => Number(m[1]));
const said = (viewer, text) => waitFor(`kelo view to say "${text}"`, () => viewer.output.includes(text));

// Pixels of a panel's canvas that differ from white, and those with colour in them.
const inkOf = (page, selector) => page.evaluate((selector) => {
  const c = document.querySelector(selector);
  if (!c.width || !c.height) return { ink: 0, coloured: 0 };
  const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let ink = 0, coloured = 0;
  for (let i = 0; i < d.length; i += 4) {
    if (d[i + 3] && (d[i] < 250 || d[i + 1] < 250 || d[i + 2] < 250)) ++ink;
    if (d[i + 3] && (Math.abs(d[i] - d[i + 1]) > 30 || Math.abs(d[i + 1] - d[i + 2]) > 30)) ++coloured;
  }
  return { ink, coloured };
}, selector);
// The element of class `name` in scanner i's panel.
const inPanel = (i, name) => `.panel[data-scanner="${i}"] .${name}`;
const numberIn = async (page, i, name) => Number(await page.textContent(inPanel(i, name)));
const stateOf = (page, i) => page.getAttribute(inPanel(i, 'state'), 'data-state');
const live = async (page, i) => (await stateOf(page, i)) === 'live' && (await numberIn(page, i, 'rate')) > 0;
const shot = (page, name, selector) => (selector ? page.locator(selector) : page).screenshot({ path: path.join(shots, name) });

async function main() {
  let a = startEmulator(A);
  const b = startEmulator(B);
  await listening(a);
  await listening(b);
  const viewer = run(bin('kelo'), ['view', A, B, C, '--bind', A, '--port', '0']);
  const url = await waitFor('the viewer address', () => viewer.output.match(/http:\/\/\S+\//)?.[0]);

  // Nothing listens at C yet: the terminal says so, and claims nothing more.
  await said(viewer, `cannot connect to ${C}: socket error 111 (Connection refused); trying again every second`);
  // A second viewer on the same port is refused, not let in beside the first.
  const second = run(bin('kelo'), ['view', A, '--bind', A, '--port', new URL(url).port]);
  assert.deepEqual(await endOf(second, 5000), { code: 1, signal: null });
  assert.match(second.output, /kelo view: cannot serve on 127\.70\.14\.1:\d+: the port is in use/);

  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: CHROMIUM_FLAGS });
  try {
    const page = await browser.newPage({ viewport: { width: 1280, height: 1000 } });
    await page.goto(url);

    // A panel per scanner, each with its own rate, drawing and status values.
    await waitFor('three panels', async () => (await page.$$('.panel')).length === 3);
    for (const [i, address] of [[0, A], [1, B]]) {
      await waitFor(`scanner ${address} live`, () => live(page, i));
      await waitFor(`its profile drawn`, async () => (await inkOf(page, inPanel(i, 'profile'))).coloured > 200);
      await waitFor(`its status values`, async () => (await page.$$(`${inPanel(i, 'status')} tbody tr`)).length > 0);
      assert.equal(await page.textContent(`${inPanel(i, 'status')} tbody tr td:nth-child(2)`), String(SERIALS[address]));
      assert.match(await page.textContent(inPanel(i, 'source')), new RegExp(`^${address} · time sync`));
    }
    assert.equal(await stateOf(page, 2), 'lost');
    assert.match(await page.textContent(inPanel(2, 'state')), /cannot connect to 127\.70\.14\.3/);
    assert.ok(!viewer.output.includes(`${C}: connected`), viewer.output);
    await shot(page, 'profile.png', inPanel(0, 'profile'));

    // The height map moves on between two screenshots.
    const before = await shot(page, 'waterfall-1.png', inPanel(0, 'waterfall'));
    await page.waitForTimeout(700);
    assert.notEqual(Buffer.compare(before, await shot(page, 'waterfall-2.png', inPanel(0, 'waterfall'))), 0,
      'the height map did not advance');
    assert.ok((await inkOf(page, inPanel(0, 'waterfall'))).coloured > 1000, 'the height map is blank');

    // The camera image: out of sync mode, the image, back into sync mode.
    await page.click(inPanel(0, 'image-button'));
    await waitFor('the camera image', async () => (await inkOf(page, inPanel(0, 'image'))).ink > 1000);
    assert.deepEqual(await page.$eval(inPanel(0, 'image'), (c) => [c.width, c.height]), [640, 480]);
    await shot(page, 'image.png', inPanel(0, 'image'));
    const sent = commandsOf(a);
    const image = sent.indexOf(11);
    assert.ok(image > 0 && sent.lastIndexOf(35, image) > sent.lastIndexOf(29, image),
      'the image was not taken outside sync mode');
    assert.ok(sent.indexOf(29, image) > image, 'sync mode was not entered again');
    assert.ok(!commandsOf(b).includes(11), 'the other scanner took an image');
    await waitFor('profiles again after the image', () => live(page, 0));

    // C comes up; A goes away, the page and the terminal say so, and it recovers.
    const c = startEmulator(C);
    await waitFor('scanner C live', () => live(page, 2));
    await said(viewer, `${C}: connected, in time sync`);
    a.kill('SIGKILL');
    await a.exited;
    await waitFor('the lost scanner reported', async () => (await stateOf(page, 0)) === 'lost');
    // (A reconnection at once may still reach the dying process: "connected, but ...".)
    assert.match(await page.textContent(inPanel(0, 'state')), /stopped answering|cannot connect|connected, but/);
    await said(viewer, `${A}: connection lost: `);
    await shot(page, 'lost.png');
    const countBefore = await numberIn(page, 0, 'count');
    a = startEmulator(A);
    await waitFor('recovery', async () => (await live(page, 0)) && (await numberIn(page, 0, 'count')) > countBefore);
    await said(viewer, `${A}: reconnected, in time sync again`);
    assert.ok(await live(page, 1), 'the other scanners kept going');
    await page.waitForTimeout(500);
    await shot(page, 'viewer.png');
    await page.screenshot({ path: path.join(shots, 'panels.png'), fullPage: true });
    c.kill('SIGKILL');
  } finally {
    await browser.close();
  }

  // Ctrl-C leaves sync mode and closes every connection.
  viewer.kill('SIGINT');
  assert.deepEqual(await endOf(viewer, 3000), { code: 0, signal: null }, `kelo view did not stop cleanly:\n${viewer.output}`);
  assert.match(viewer.output, new RegExp(`${A}: left sync mode and closed the connection\n`));
  assert.match(viewer.output, new RegExp(`${B}: left sync mode and closed the connection\n`));
  await waitFor('the close command', () => commandsOf(a).includes(102), 3000);
  assert.deepEqual(commandsOf(a).filter((c) => [29, 35, 102].includes(c)).slice(-3), [29, 35, 102]);

  // A scanner that stops answering holds Ctrl-C up for at most a second more, and the terminal says so.
  const stuck = run(bin('kelo'), ['view', B, '--bind', B, '--port', '0']);
  await said(stuck, `${B}: connected, in time sync`);
  b.kill('SIGSTOP');
  await new Promise((r) => setTimeout(r, 300));
  const stopped = Date.now();
  stuck.kill('SIGINT');
  assert.deepEqual(await endOf(stuck, 5000), { code: 1, signal: null }, stuck.output);
  b.kill('SIGCONT');
  assert.ok(Date.now() - stopped < 2300, `${Date.now() - stopped} ms after Ctrl-C`);
  assert.match(stuck.output, new RegExp(`${B}: could not leave sync mode within 1000 ms: the scanner does not answer`));
}

try {
  await main();
  console.log(`viewer browser test passed in ${((Date.now() - started) / 1000).toFixed(1)} s; ` +
    `screenshots in ${shots}`);
} catch (error) {
  console.error(`viewer browser test FAILED: ${error.stack ?? error}`);
  for (const child of children) console.error(`--- ${child.spawnargs.join(' ')}\n${child.output.slice(-3000)}`);
  process.exitCode = 1;
} finally {
  for (const child of children) if (child.exitCode === null && child.signalCode === null) child.kill('SIGKILL');
}
